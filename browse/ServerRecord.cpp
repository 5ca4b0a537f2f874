#include "ServerRecord.h"

#include <cstdio>
#include <cstring>

#include "RegistryNames.h"

namespace kvr::browse {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (AsciiLower(*a) != AsciiLower(*b)) return false;
    return *a == *b;
}

constexpr char kLongRavelinType[] = "Ravelin/E 115";
constexpr std::size_t kRavelinTypeLength = sizeof("Ravelin/E") - 1;

// Offsets inside DeviceRecord::address and ServerAddress of the IPX fields;
// the record keeps them where the socket address would have them.
constexpr std::size_t kIpxFieldsBegin = 2;
constexpr std::size_t kIpxFieldsEnd = 14;  // network 4, node 6, socket 2

}  // namespace

void CopyBounded(char* dst, std::size_t dstSize, const char* src, std::size_t srcSize) {
    std::size_t length = src ? strnlen(src, srcSize) : 0;
    if (length > dstSize - 1) length = dstSize - 1;
    if (length) std::memcpy(dst, src, length);
    dst[length] = '\0';
}

void ShortenKnownTypeText(char* typeText) {
    if (EqualsIgnoringCase(typeText, kLongRavelinType)) typeText[kRavelinTypeLength] = '\0';
}

StoredServer StoredServerOf(const DeviceRecord& device) {
    StoredServer server{};
    CopyBounded(server.typeText, device.typeText, sizeof(device.typeText));
    ShortenKnownTypeText(server.typeText);
    CopyBounded(server.name, device.name, sizeof(device.name));
    if (device.transport == kTransportIp) {
        std::memcpy(&server.address, device.address, sizeof(server.address));
    } else {
        server.address.family = kTransportIpx;
        auto* bytes = reinterpret_cast<std::uint8_t*>(&server.address);
        std::memcpy(bytes + kIpxFieldsBegin, device.address + kIpxFieldsBegin,
                    kIpxFieldsEnd - kIpxFieldsBegin);
    }
    return server;
}

DeviceRecord DeviceRecordOf(const ServerAddress& address, const char* typeText,
                            std::size_t typeTextSize, const char* name, std::size_t nameSize) {
    DeviceRecord record{};
    record.transport = address.family;
    CopyBounded(record.typeText, typeText, typeTextSize);
    CopyBounded(record.name, name, nameSize);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);
    if (address.family == kTransportIp) {
        std::memcpy(record.address, bytes, sizeof(record.address));
    } else if (address.family == kTransportIpx) {
        std::memcpy(record.address + kIpxFieldsBegin, bytes + kIpxFieldsBegin,
                    kIpxFieldsEnd - kIpxFieldsBegin);
    }
    return record;
}

const char* ServerBaseKeyFor(std::uint16_t transport) {
    return transport == kTransportIp ? reg::kTcpServersKeyA : reg::kSpxServersKeyA;
}

bool PortKeyPath(std::uint16_t portIndex, char* out, std::size_t outSize) {
    const int written = std::snprintf(out, outSize, "%s\\%s%u", reg::kPortsKeyA,
                                      reg::kPortKeyPrefixA, static_cast<unsigned>(portIndex));
    return written > 0 && static_cast<std::size_t>(written) < outSize;
}

bool PortDeviceTarget(std::uint16_t portIndex, char* out, std::size_t outSize) {
    const int written = std::snprintf(out, outSize, "\\Device\\%s%u", reg::kPortKeyPrefixA,
                                      static_cast<unsigned>(portIndex));
    return written > 0 && static_cast<std::size_t>(written) < outSize;
}

}  // namespace kvr::browse
