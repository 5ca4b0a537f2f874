// In-process figures of reading discovery replies: the broadcast search reads
// every answer with the fast reader (snmp::ReadDiscoveryReply), which walks
// only the header and reads the five bindings in place; the full decoder
// (snmp::DecodeReply) is what every other query uses. Both read the same
// replies, made by the simulator's agent from the library's own discovery
// request, for devices whose names run from 1 to 47 characters.
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

template <typename Read>
double ReplyRate(const std::vector<Bytes>& replies, Read read, std::uint64_t& sink) {
    std::vector<double> rates;
    for (int round = 0; round < kRounds; ++round) {
        std::uint64_t done = 0;
        const auto start = Clock::now();
        double seconds = 0;
        do {
            for (const Bytes& reply : replies) sink += read(reply);
            done += replies.size();
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        } while (seconds < kRoundSeconds);
        rates.push_back(static_cast<double>(done) / seconds);
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
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

    // Both readers must agree on every reply before either is timed.
    auto decoded = std::make_unique<snmp::Reply>();
    for (const Bytes& reply : replies) {
        snmp::DiscoveryAnswer answer;
        if (snmp::ReadDiscoveryReply(reply.data(), reply.size(), answer) != 0 ||
            snmp::DecodeReply(reply.data(), reply.size(), *decoded) != 0 || decoded->bindingCount != 5 ||
            decoded->bindings[4].value.length != answer.nameLength ||
            std::memcmp(decoded->bindings[4].value.bytes, answer.name, answer.nameLength) != 0) {
            std::printf("discovery_bench: the readers disagree on a %zu-byte reply\n", reply.size());
            return 1;
        }
    }

    std::uint64_t sink = 0;
    const double fast = ReplyRate(
        replies,
        [](const Bytes& reply) {
            snmp::DiscoveryAnswer answer;
            snmp::ReadDiscoveryReply(reply.data(), reply.size(), answer);
            return answer.nameLength;
        },
        sink);
    const double full = ReplyRate(
        replies,
        [&decoded](const Bytes& reply) {
            snmp::DecodeReply(reply.data(), reply.size(), *decoded);
            return decoded->bindingCount;
        },
        sink);

    std::printf("Discovery replies: %zu devices, names 1..47 characters, %.1f bytes on average\n", replies.size(),
                meanBytes);
    std::printf("  fast reader (ReadDiscoveryReply): %12.0f replies/s  %8.1f MB/s  %7.1f ns/reply\n", fast,
                fast * meanBytes / 1e6, 1e9 / fast);
    std::printf("  full decoder (DecodeReply):       %12.0f replies/s  %8.1f MB/s  %7.1f ns/reply\n", full,
                full * meanBytes / 1e6, 1e9 / full);
    std::printf("  fast reader / full decoder: %.2fx\n", fast / full);
    std::printf("  (check %llu)\n", static_cast<unsigned long long>(sink));
    return 0;
}
