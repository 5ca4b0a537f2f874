#pragma once
// The seam between the queries and the sockets: the library talks to devices
// through a DatagramChannel that a Network opens. The library's own Network
// uses Windows Sockets; tests give scripted ones. No windows.h here.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "DeviceRecords.h"

namespace kvr::browse {

class DatagramChannel {
public:
    virtual ~DatagramChannel() = default;

    // 0, or an error code of the library.
    virtual std::int32_t Send(const std::uint8_t* data, std::size_t length) = 0;
    // Waits at most waitMs for one datagram and copies at most capacity bytes
    // of it. 0 with length 0 when nothing came, 0 with its length, or an
    // error code.
    virtual std::int32_t Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& length,
                                 std::uint32_t waitMs) = 0;
    // Milliseconds of the system tick count.
    virtual std::uint32_t Now() = 0;
};

class Network {
public:
    virtual ~Network() = default;

    // A datagram channel of the transport (2 or 6) aimed at destination.
    // Broadcast channels may send to a broadcast address and get a large
    // receive buffer. 0 and the channel, or an error code.
    virtual std::int32_t Open(std::uint16_t transport, const ServerAddress& destination,
                              bool broadcast, std::unique_ptr<DatagramChannel>& channel) = 0;
    // The first IPv4 address of a host name, in network byte order; 0 or an
    // error code (-58 when the name does not resolve).
    virtual std::int32_t Resolve(const char* hostName, std::uint8_t (&address)[4]) = 0;
};

// Fixed destinations of the queries.
inline constexpr std::uint16_t kSnmpUdpPort = 161;
inline constexpr std::uint16_t kSnmpIpxSocket = 0x900F;
inline constexpr std::uint16_t kDiscoveryUdpPort = 1502;
inline constexpr std::uint16_t kSapIpxSocket = 0x0452;

// A TCP/IP destination: family 2, port and address in network order.
ServerAddress IpDestination(const std::uint8_t (&address)[4], std::uint16_t port);

// The transport at the start of a 20-byte target address.
std::uint16_t TargetTransport(const std::uint8_t* target);

// The destination of a 20-byte target address of the transport for the SNMP
// queries: its address with the port or socket replaced by the query port.
// -5 for a null target, -54 for a transport other than 2 and 6.
std::int32_t QueryDestination(const std::uint8_t* target, std::uint16_t transport,
                              ServerAddress& destination);

}  // namespace kvr::browse
