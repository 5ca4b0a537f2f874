#include "Network.h"

#include <cstring>

#include "BrowseErrors.h"

namespace kvr::browse {

namespace {

void PutPort(std::uint8_t* at, std::uint16_t port) {
    at[0] = static_cast<std::uint8_t>(port >> 8);
    at[1] = static_cast<std::uint8_t>(port);
}

}  // namespace

ServerAddress IpDestination(const std::uint8_t (&address)[4], std::uint16_t port) {
    ServerAddress destination{};
    destination.family = kTransportIp;
    PutPort(destination.data, port);
    std::memcpy(destination.data + 2, address, 4);
    return destination;
}

std::uint16_t TargetTransport(const std::uint8_t* target) {
    std::uint16_t transport = 0;
    std::memcpy(&transport, target, sizeof transport);
    return transport;
}

std::int32_t QueryDestination(const std::uint8_t* target, std::uint16_t transport,
                              ServerAddress& destination) {
    if (target == nullptr) return kHlpMissingArgument;
    destination = {};
    if (transport == kTransportIp) {
        // Offsets 4-19 hold a whole socket address; its address is at 8.
        std::uint8_t address[4];
        std::memcpy(address, target + 8, 4);
        destination = IpDestination(address, kSnmpUdpPort);
        return kHlpOk;
    }
    if (transport == kTransportIpx) {
        // The IPX fields lie as if an IPX socket address began at offset 2:
        // network 4-7, node 8-13, socket 14-15.
        destination.family = kTransportIpx;
        std::memcpy(destination.data, target + 4, 10);
        PutPort(destination.data + 10, kSnmpIpxSocket);
        return kHlpOk;
    }
    return kHlpUnsupportedTransport;
}

}  // namespace kvr::browse
