// In-process figures of reading discovery replies: the broadcast search reads
// every answer with the fast reader (snmp::ReadDiscoveryReply), which walks
// only the header and reads the five bindings in place; the full decoder
// (snmp::DecodeReply) is what every other query uses. Both read the same
// replies, made by the simulator's agent from the library's own discovery
// request, for devices whose names run from 1 to 47 characters; then the
// same replies with every length in the long form, which the fast reader
// walks element by element.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DeviceMib.h"
#include "DeviceQueries.h"
#include "SnmpAgent.h"
#include "SnmpCodec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 94;       // every name length twice
constexpr int kRounds = 7;         // the median of these is reported
constexpr double kRoundSeconds = 0.3;

// The request the broadcast search sends (its request-id is always 0).
Bytes DiscoveryRequest() {
    snmp::Request request(snmp::kGetRequest);
    request.SetCommunity("public", 6);
    kvr::browse::BuildDiscoveryRequest(request);
    Bytes bytes(snmp::kMessageBufferSize);
    std::size_t length = 0;
    if (request.Encode(bytes.data(), bytes.size(), length) != 0) return {};
    bytes.resize(length);
    return bytes;
}

// One reply per simulated device: names of every length, several hardware
// types, versions and addresses.
std::vector<Bytes> MakeReplies(std::size_t& totalBytes) {
    const Bytes request = DiscoveryRequest();
    std::vector<Bytes> replies;
    totalBytes = 0;
    if (request.empty()) return replies;
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int i = 0; i < kDevices; ++i) {
        rasim::DeviceConfig device;
        device.address = 0x7F000100u + static_cast<std::uint32_t>(i + 1);
        device.name = letters.substr(0, static_cast<std::size_t>(1 + i % 47));
        device.snmp.hardware = (i % 3 == 0) ? 9 : (i % 3 == 1 ? 12 : 2);
        device.snmp.version[1] = static_cast<std::uint8_t>(i % 5);
        const rasim::DeviceMib mib(device);
        const rasim::SnmpAgent agent(mib, rasim::AgentSettings{});
        Bytes reply(2048);
        const std::size_t length = agent.Answer(request.data(), request.size(), reply.data(), reply.size());
        if (length == 0) return {};
        reply.resize(length);
        totalBytes += length;
        replies.push_back(std::move(reply));
    }
    return replies;
}

// Replies per second of one reader over all replies, for kRoundSeconds.
template <typename Read>
double RoundRate(const std::vector<Bytes>& replies, Read read, std::uint64_t& sink) {
    std::uint64_t done = 0;
    const auto start = Clock::now();
    double seconds = 0;
    do {
        for (const Bytes& reply : replies) sink += read(reply);
        done += replies.size();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (seconds < kRoundSeconds);
    return static_cast<double>(done) / seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The two readers in alternating rounds, so a machine busy with other work
// slows both alike; the ratio is the median of the rounds' ratios.
struct Rates {
    double fast = 0;
    double full = 0;
    double ratio = 0;
};

Rates MeasureRates(const std::vector<Bytes>& replies, snmp::Reply& decoded, std::uint64_t& sink) {
    const auto fastRead = [](const Bytes& reply) {
        snmp::DiscoveryAnswer answer;
        snmp::ReadDiscoveryReply(reply.data(), reply.size(), answer);
        return answer.nameLength;
    };
    const auto fullRead = [&decoded](const Bytes& reply) {
        snmp::DecodeReply(reply.data(), reply.size(), decoded);
        return decoded.bindingCount;
    };
    std::vector<double> fast, full, ratios;
    for (int round = 0; round < kRounds; ++round) {
        fast.push_back(RoundRate(replies, fastRead, sink));
        full.push_back(RoundRate(replies, fullRead, sink));
        ratios.push_back(fast.back() / full.back());
    }
    return {Median(fast), Median(full), Median(ratios)};
}

// The same message with every length in the two-byte long form (0x82), as an
// agent may write it: constructed elements are rewritten element by element.
// The agent's own lengths take one byte, or 0x81 and one byte.
bool AppendLongForms(const std::uint8_t* data, std::size_t length, Bytes& out) {
    std::size_t at = 0;
    while (at < length) {
        if (length - at < 2) return false;
        const std::uint8_t tag = data[at];
        std::size_t header = 2;
        std::size_t size = data[at + 1];
        if (size == 0x81 && length - at >= 3) {
            size = data[at + 2];
            header = 3;
        } else if (size >= 0x80) {
            return false;
        }
        if (size > length - at - header) return false;
        const std::uint8_t* content = data + at + header;
        Bytes inner;
        const bool constructed = (tag & 0x20) != 0;
        if (constructed ? !AppendLongForms(content, size, inner) : (inner.assign(content, content + size), false)) {
            return false;
        }
        out.insert(out.end(), {tag, 0x82, static_cast<std::uint8_t>(inner.size() >> 8),
                               static_cast<std::uint8_t>(inner.size())});
        out.insert(out.end(), inner.begin(), inner.end());
        at += header + size;
    }
    return true;
}

bool ReadersAgree(const Bytes& reply, snmp::Reply& decoded) {
    snmp::DiscoveryAnswer answer;
    return snmp::ReadDiscoveryReply(reply.data(), reply.size(), answer) == 0 &&
           snmp::DecodeReply(reply.data(), reply.size(), decoded) == 0 && decoded.bindingCount == 5 &&
           decoded.bindings[4].value.length == answer.nameLength &&
           std::memcmp(decoded.bindings[4].value.bytes, answer.name, answer.nameLength) == 0;
}

}  // namespace

int main() {
    std::size_t totalBytes = 0;
    const std::vector<Bytes> replies = MakeReplies(totalBytes);
    if (replies.empty()) {
        std::printf("discovery_bench: the agent made no replies\n");
        return 1;
    }
    const double meanBytes = static_cast<double>(totalBytes) / static_cast<double>(replies.size());

    // The agent's replies are shorter than 256 bytes, so their lengths are
    // rewritten whole.
    std::vector<Bytes> longForms;
    std::size_t longBytes = 0;
    for (const Bytes& reply : replies) {
        Bytes rewritten;
        if (!AppendLongForms(reply.data(), reply.size(), rewritten)) {
            std::printf("discovery_bench: a reply's lengths are not in the forms the agent writes\n");
            return 1;
        }
        longBytes += rewritten.size();
        longForms.push_back(std::move(rewritten));
    }

    // Both readers must agree on every reply before either is timed.
    auto decoded = std::make_unique<snmp::Reply>();
    const std::vector<Bytes>* const sets[] = {&replies, &longForms};
    for (const std::vector<Bytes>* set : sets) {
        for (const Bytes& reply : *set) {
            if (!ReadersAgree(reply, *decoded)) {
                std::printf("discovery_bench: the readers disagree on a %zu-byte reply\n", reply.size());
                return 1;
            }
        }
    }

    std::uint64_t sink = 0;
    const Rates common = MeasureRates(replies, *decoded, sink);
    const Rates walked = MeasureRates(longForms, *decoded, sink);
    const double meanLongBytes = static_cast<double>(longBytes) / static_cast<double>(longForms.size());

    std::printf("Discovery replies: %zu devices, names 1..47 characters, %.1f bytes on average\n", replies.size(),
                meanBytes);
    std::printf("  fast reader (ReadDiscoveryReply): %12.0f replies/s  %8.1f MB/s  %7.1f ns/reply\n", common.fast,
                common.fast * meanBytes / 1e6, 1e9 / common.fast);
    std::printf("  full decoder (DecodeReply):       %12.0f replies/s  %8.1f MB/s  %7.1f ns/reply\n", common.full,
                common.full * meanBytes / 1e6, 1e9 / common.full);
    std::printf("  fast reader / full decoder: %.2fx (median of %d alternating rounds)\n", common.ratio, kRounds);
    std::printf("The same replies with every length in the long form, %.1f bytes on average:\n", meanLongBytes);
    std::printf("  fast reader: %12.0f replies/s  %7.1f ns/reply; full decoder: %12.0f replies/s; %.2fx\n",
                walked.fast, 1e9 / walked.fast, walked.full, walked.ratio);
    std::printf("  (check %llu)\n", static_cast<unsigned long long>(sink));
    return 0;
}
