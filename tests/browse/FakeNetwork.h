#pragma once
// A scripted network for the browsing library's queries: a virtual clock that
// moves only while a query waits, so minutes of time-outs pass at once, and
// simulated devices answered in process by the simulator's own SNMP agent.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DeviceMib.h"
#include "Network.h"
#include "SnmpAgent.h"

namespace fake {

using Bytes = std::vector<std::uint8_t>;

struct Sent {
    std::uint32_t at;  // virtual milliseconds since the network was made
    ServerAddress to;
    Bytes bytes;
};

inline std::uint16_t PortOf(const ServerAddress& address) {
    return static_cast<std::uint16_t>(address.data[0] << 8 | address.data[1]);
}

inline std::uint32_t HostOrder(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

inline std::uint32_t ParseIp(const char* text) {
    unsigned a = 0, b = 0, c = 0, d = 0;
    std::sscanf(text, "%u.%u.%u.%u", &a, &b, &c, &d);
    return a << 24 | b << 16 | c << 8 | d;
}

class Network final : public kvr::browse::Network {
public:
    static constexpr std::uint32_t kStart = 0xFFFF0000;  // the tick count wraps during tests

    // A device on UDP 161 of ip, with the simulator's defaults (version 4,
    // IP dial-out 3, hardware type 9, newer port table).
    rasim::DeviceConfig& AddDevice(const char* ip, const char* name) {
        rasim::DeviceConfig device;
        device.address = ParseIp(ip);
        device.name = name;
        devices_.push_back(device);
        return devices_.back();
    }

    std::int32_t Open(std::uint16_t, const ServerAddress& destination, bool broadcast,
                      std::unique_ptr<kvr::browse::DatagramChannel>& channel) override {
        ++opens;
        broadcasts += broadcast ? 1 : 0;
        if (openError != 0) return openError;
        channel = std::make_unique<Channel>(*this, destination);
        return 0;
    }

    std::int32_t Resolve(const char* hostName, std::uint8_t (&address)[4]) override {
        ++resolves;
        const auto found = hosts.find(hostName);
        if (found == hosts.end()) return -58;
        std::memcpy(address, found->second.data(), 4);
        return 0;
    }

    std::uint32_t Elapsed() const { return now_ - kStart; }
    // Datagrams sent to a UDP port.
    std::size_t SentTo(std::uint16_t port) const {
        std::size_t count = 0;
        for (const Sent& datagram : sent) count += PortOf(datagram.to) == port;
        return count;
    }

    std::vector<Sent> sent;
    std::map<std::string, std::array<std::uint8_t, 4>> hosts;
    // Extra answers to any datagram, after the devices'.
    std::function<std::vector<Bytes>(const Sent&)> responder;
    std::int32_t openError = 0;
    std::int32_t sendError = 0;  // what every send returns instead of sending
    int opens = 0;
    int broadcasts = 0;
    int resolves = 0;
    std::uint32_t latencyMs = 2;

private:
    class Channel final : public kvr::browse::DatagramChannel {
    public:
        Channel(Network& network, const ServerAddress& to) : network_(network), to_(to) {}
        std::int32_t Send(const std::uint8_t* data, std::size_t length) override {
            if (network_.sendError != 0) return network_.sendError;
            for (Bytes& answer : network_.Deliver(to_, Bytes(data, data + length))) {
                pending_.push_back({network_.now_ + network_.latencyMs, std::move(answer)});
            }
            return 0;
        }
        std::int32_t Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& length,
                             std::uint32_t waitMs) override {
            length = 0;
            const auto due =
                pending_.empty() ? 0 : static_cast<std::int32_t>(pending_.front().first - network_.now_);
            if (!pending_.empty() && due <= static_cast<std::int32_t>(waitMs)) {
                if (due > 0) network_.now_ += static_cast<std::uint32_t>(due);
                const Bytes& bytes = pending_.front().second;
                length = std::min(bytes.size(), capacity);
                std::memcpy(buffer, bytes.data(), length);
                pending_.pop_front();
                return 0;
            }
            network_.now_ += waitMs;
            return 0;
        }
        std::uint32_t Now() override { return network_.now_; }

    private:
        Network& network_;
        ServerAddress to_;
        // Answers wait on the channel that asked, as on a socket of its own.
        std::deque<std::pair<std::uint32_t, Bytes>> pending_;
    };

    // Records a datagram and returns the answers it gets.
    std::vector<Bytes> Deliver(const ServerAddress& to, Bytes bytes) {
        std::vector<Bytes> answers;
        sent.push_back({Elapsed(), to, std::move(bytes)});
        const Sent& datagram = sent.back();
        const bool broadcast = HostOrder(to.data + 2) == 0xFFFFFFFF;
        for (const rasim::DeviceConfig& device : devices_) {
            const bool asked = broadcast ? device.snmp.discovery && PortOf(to) == 1502
                                         : device.address == HostOrder(to.data + 2) && PortOf(to) == 161;
            if (!asked || device.snmp.silent) continue;
            const rasim::DeviceMib mib(device);
            const rasim::SnmpAgent agent(mib, rasim::AgentSettings::From(device.snmp));
            std::uint8_t answer[1500];
            const std::size_t length = agent.Answer(datagram.bytes.data(), datagram.bytes.size(),
                                                    answer, sizeof answer);
            const long copies = broadcast ? device.snmp.discoveryReplies : 1;
            for (long i = 0; length > 0 && i < copies; ++i) answers.emplace_back(answer, answer + length);
        }
        if (responder) {
            for (Bytes& extra : responder(datagram)) answers.push_back(std::move(extra));
        }
        return answers;
    }

    std::deque<rasim::DeviceConfig> devices_;
    std::uint32_t now_ = kStart;
};

}  // namespace fake
