#pragma once
// The device-type catalogue, hardware type names and manufacturer codes that
// discovery reads from the registry at the start of each find operation, and
// the two discovery settings read afresh for every search.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FieldString.h"

namespace kvr::browse {

struct DeviceTypeEntry {
    char name[kEntryNameChars + 1] = {};
    DeviceTypeFields fields;
};

struct HardwareType {
    std::int32_t number = 0;
    char name[kHardwareNameChars + 1] = {};
};

inline constexpr std::size_t kMaxManufacturerCodes = 15;

class Catalogue {
public:
    // Replaces whatever is loaded with the tables under the Lookup key of
    // HKEY_LOCAL_MACHINE. A missing key loads nothing and succeeds; a key
    // without catalogue values fails with kHlpRegistryFailure.
    std::int32_t Load();
    void Release();

    const std::vector<DeviceTypeEntry>& Entries() const { return m_entries; }
    const std::vector<HardwareType>& HardwareTypes() const { return m_hardwareTypes; }

    // First matches in enumeration order; nullptr when none.
    const DeviceTypeEntry* FindByName(std::string_view name) const;
    const DeviceTypeEntry* FindByCode(std::string_view code) const;
    const DeviceTypeEntry* FindByHardwareType(std::int32_t hardwareType) const;
    const DeviceTypeEntry* FindBySapType(std::int32_t sapType) const;

    // The hardware type a type filter asks for: -1 (any) for a filter that
    // starts with "*" or names no catalogue code.
    std::int32_t HardwareTypeForFilter(std::string_view filter) const;

    const HardwareType* FindHardwareType(std::int32_t number) const;
    // The display name of a hardware type, or kHlpNoHardwareTypeName.
    std::int32_t HardwareTypeName(std::int32_t number, const char** name) const;

    bool IsManufacturerCode(char c) const;

private:
    std::vector<DeviceTypeEntry> m_entries;
    std::vector<HardwareType> m_hardwareTypes;
    char m_manufacturerCodes[kMaxManufacturerCodes + 1] = {};
};

// The library-wide catalogue that a find operation loads at its start and
// releases at its end; empty outside a find operation.
Catalogue& LoadedCatalogue();

// The lookup-method setting under the Servers key; the default order when the
// key or value is missing, empty or longer than 255 characters.
LookupOrder ReadLookupOrder();

// Copies the device file path into buffer (size bytes, NUL included).
// kHlpRegistryFailure when the key or value is missing, is not text, or does
// not fit; the buffer then holds an empty string when it has room for one.
std::int32_t ReadDeviceFile(char* buffer, std::uint32_t size);

}  // namespace kvr::browse
