#pragma once
// Records that cross the browsing library's interface and the server store.
// Plain bytes, little-endian on the host side; no windows.h so the parsers
// that fill them also build natively.
#include <cstddef>
#include <cstdint>

constexpr std::uint16_t kTransportIp = 2;
constexpr std::uint16_t kTransportIpx = 6;

// The 16-byte Windows Sockets address stored in a server key's "Address":
// family 2: TCP port (network order) at 2, IPv4 address at 4, 8 zero bytes;
// family 6: network number at 2, node at 6, socket (network order) at 12.
struct ServerAddress {
    std::uint16_t family;
    std::uint8_t data[14];
};
static_assert(sizeof(ServerAddress) == 16);
static_assert(offsetof(ServerAddress, data) == 2);

constexpr std::uint16_t kDiscoveredServerTcpPort = 1549;

struct DeviceRecord {
    std::uint16_t transport;
    char typeText[48];
    char typeCode[9];
    char name[49];
    std::uint8_t address[16];
};
static_assert(sizeof(DeviceRecord) == 124);
static_assert(offsetof(DeviceRecord, typeText) == 2);
static_assert(offsetof(DeviceRecord, typeCode) == 50);
static_assert(offsetof(DeviceRecord, name) == 59);
static_assert(offsetof(DeviceRecord, address) == 108);

struct RedirectionRecord {
    DeviceRecord device;
    char portName[256];
};
static_assert(sizeof(RedirectionRecord) == 380);
static_assert(offsetof(RedirectionRecord, portName) == 124);

struct DeviceDetailRecord {
    DeviceRecord device;
    std::uint32_t hardwareType;
    std::uint8_t version[4];
    std::uint8_t capability;
    std::uint8_t reserved[3];
};
static_assert(sizeof(DeviceDetailRecord) == 136);
static_assert(offsetof(DeviceDetailRecord, hardwareType) == 124);
static_assert(offsetof(DeviceDetailRecord, version) == 128);
static_assert(offsetof(DeviceDetailRecord, capability) == 132);
