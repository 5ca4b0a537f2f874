#include "SapRules.h"

#include <cstring>
#include <string_view>

#include "Catalogue.h"
#include "NamePattern.h"
#include "ServerRecord.h"
#include "Trace.h"

namespace kvr::browse {

namespace {

// Sockets of other services that advertise with the devices' types.
constexpr std::uint16_t kForeignSockets[] = {0x829D, 0x829E};
constexpr std::uint32_t kVersionFilterForSockets = 4;
constexpr std::uint16_t kFirstVersionFourSocket = 0x0440;
constexpr std::size_t kDeviceNameChars = 32;
constexpr std::uint8_t kCapabilityListed = 0x02;

// Positions in the name of a named entry.
constexpr std::size_t kHardwareTypeAt = 32;
constexpr std::size_t kVersionAt = 36;
constexpr std::size_t kManufacturerAt = 42;
constexpr std::size_t kMarkerAt = 43;
constexpr std::size_t kCapabilityAt = 44;

std::uint16_t BigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Two hexadecimal characters of the name; -1 when they are not.
int HexPair(const char* name, std::size_t at) {
    const int high = HexDigit(name[at]);
    const int low = HexDigit(name[at + 1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::string_view AdvertisedName(const SapEntry& entry) {
    return {entry.name, strnlen(entry.name, kSapNameLength)};
}

// The device name of a named entry: its first 32 characters without the
// trailing "_" padding.
std::string_view DeviceNameOf(const SapEntry& entry) {
    std::string_view name = AdvertisedName(entry).substr(0, kDeviceNameChars);
    while (!name.empty() && name.back() == '_') name.remove_suffix(1);
    return name;
}

void PlaceAddress(const SapEntry& entry, DeviceRecord& record) {
    record.transport = kTransportIpx;
    // Offset 108 holds the server type where a socket address keeps its family.
    std::memcpy(record.address, &entry.serverType, 2);
    std::memcpy(record.address + 2, entry.network, 4);
    std::memcpy(record.address + 6, entry.node, 6);
    std::memcpy(record.address + 12, entry.socket, 2);
}

void CopyText(char* field, std::size_t fieldSize, std::string_view text) {
    CopyBounded(field, fieldSize, text.data(), text.size());
}

bool ReadByGeneralRule(const SapEntry& entry, const SapQuestion& question, const SapFilter& filter,
                       const Catalogue& catalogue, DeviceRecord& record) {
    const std::uint16_t socket = BigEndian16(entry.socket);
    for (std::uint16_t foreign : kForeignSockets) {
        if (socket == foreign) return false;
    }
    if (IsSpecificPattern(filter.namePattern)) {
        if (!MatchesPattern(filter.namePattern, AdvertisedName(entry))) return false;
    } else if (filter.versionFilter && *filter.versionFilter == kVersionFilterForSockets) {
        // Version 4 devices listen on sockets from 0x4004 on, which read
        // byte-swapped are 0x0440 and above.
        const auto swapped = static_cast<std::uint16_t>(socket << 8 | socket >> 8);
        if (swapped < kFirstVersionFourSocket) return false;
        Trace("4.0");
    }
    const char* typeText = question.typeText;
    const char* typeCode = question.typeCode;
    if (typeText[0] == '\0') {
        const DeviceTypeEntry* type = catalogue.FindBySapType(entry.serverType);
        if (type == nullptr) return false;
        typeText = type->name;
        typeCode = type->fields.code;
    }
    record = {};
    PlaceAddress(entry, record);
    CopyText(record.typeText, sizeof record.typeText, typeText);
    CopyText(record.typeCode, sizeof record.typeCode, typeCode);
    CopyText(record.name, sizeof record.name, AdvertisedName(entry));
    return true;
}

bool ReadByNameRule(const SapEntry& entry, const SapFilter& filter, const Catalogue& catalogue,
                    DeviceRecord& record) {
    const int capability = HexPair(entry.name, kCapabilityAt);
    if (!catalogue.IsManufacturerCode(entry.name[kManufacturerAt]) ||
        entry.name[kMarkerAt] != '5' || capability < 0 || (capability & kCapabilityListed) == 0) {
        return false;
    }
    const std::string_view deviceName = DeviceNameOf(entry);
    if (IsSpecificPattern(filter.namePattern)) {
        if (!MatchesPattern(filter.namePattern, deviceName)) return false;
    } else if (filter.versionFilter) {
        const int version = HexPair(entry.name, kVersionAt);
        if (version < 0 || static_cast<std::uint32_t>(version) < *filter.versionFilter) return false;
    }
    const int hardwareType = HexPair(entry.name, kHardwareTypeAt);
    const char* displayName = nullptr;
    if (hardwareType <= 0 || catalogue.HardwareTypeName(hardwareType, &displayName) != 0) {
        return false;
    }
    record = {};
    PlaceAddress(entry, record);
    CopyText(record.typeText, sizeof record.typeText, displayName);
    CopyText(record.name, sizeof record.name, deviceName);
    return true;
}

}  // namespace

void BuildSapQuery(std::uint16_t serverType, std::uint8_t (&query)[kSapQueryLength]) {
    query[0] = 0x00;  // general service query
    query[1] = 0x01;
    query[2] = static_cast<std::uint8_t>(serverType >> 8);
    query[3] = static_cast<std::uint8_t>(serverType);
}

SapEntry ParseSapEntry(const std::uint8_t* bytes) {
    SapEntry entry;
    entry.serverType = BigEndian16(bytes);
    std::memcpy(entry.name, bytes + 2, kSapNameLength);
    std::memcpy(entry.network, bytes + 50, 4);
    std::memcpy(entry.node, bytes + 54, 6);
    std::memcpy(entry.socket, bytes + 60, 2);
    return entry;
}

bool ReadSapEntry(const SapEntry& entry, const SapQuestion& question, const SapFilter& filter,
                  const Catalogue& catalogue, DeviceRecord& record) {
    return question.nameRule ? ReadByNameRule(entry, filter, catalogue, record)
                             : ReadByGeneralRule(entry, question, filter, catalogue, record);
}

}  // namespace kvr::browse
