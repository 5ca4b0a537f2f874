#include "Catalogue.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "BrowseErrors.h"
#include "Registry.h"
#include "RegistryNames.h"

namespace kvr::browse {
namespace {

// Visits every value of key in enumeration order, each whole: one long value
// does not end the list.
template <typename Visit>
void ForEachValue(const RegKey& key, Visit visit) {
    for (DWORD index = 0;; ++index) {
        LONG status = ERROR_SUCCESS;
        const auto value = key.ValueAtA(index, &status);
        if (!value) {
            if (status == ERROR_MORE_DATA) continue;  // kept growing while we read it
            return;
        }
        visit(std::string_view(value->name), std::string_view(value->data));
    }
}

}  // namespace

std::int32_t Catalogue::Load() {
    Release();
    const RegKey lookup = RegKey::Open(HKEY_LOCAL_MACHINE, reg::kLookupKeyA);
    if (!lookup) return kHlpOk;

    if (const RegKey codes = RegKey::Open(lookup.Get(), reg::kManufacturerCodesA)) {
        std::size_t count = 0;
        ForEachValue(codes, [&](std::string_view, std::string_view data) {
            // The list keeps its terminating zero however many values exist.
            if (count < kMaxManufacturerCodes) m_manufacturerCodes[count++] = data.empty() ? '\0' : data[0];
        });
    }

    if (const RegKey types = RegKey::Open(lookup.Get(), reg::kHardwareTypesA)) {
        if (const auto subkeys = types.SubKeyCount()) {
            m_hardwareTypes.reserve(*subkeys);
            for (DWORD index = 0; index < *subkeys; ++index) {
                const auto subkey = types.SubKeyNameA(index);
                if (!subkey) break;
                HardwareType type;
                type.number = ParseDecimalName(*subkey);
                if (const RegKey typeKey = RegKey::Open(types.Get(), subkey->c_str())) {
                    if (const auto name = typeKey.ReadText(reg::kNameA)) CopyCut(*name, type.name, kHardwareNameChars);
                }
                m_hardwareTypes.push_back(type);
            }
        }
    }

    ForEachValue(lookup, [&](std::string_view name, std::string_view data) {
        DeviceTypeEntry entry;
        CopyCut(EntryNameOf(name), entry.name, kEntryNameChars);
        entry.fields = ParseFieldString(data);
        m_entries.push_back(entry);
    });
    if (m_entries.empty()) {
        Release();
        return kHlpRegistryFailure;
    }
    return kHlpOk;
}

void Catalogue::Release() {
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_hardwareTypes.clear();
    m_hardwareTypes.shrink_to_fit();
    std::fill(std::begin(m_manufacturerCodes), std::end(m_manufacturerCodes), '\0');
}

const DeviceTypeEntry* Catalogue::FindByName(std::string_view name) const {
    for (const DeviceTypeEntry& entry : m_entries) {
        if (EqualsNoCase(entry.name, name)) return &entry;
    }
    return nullptr;
}

const DeviceTypeEntry* Catalogue::FindByCode(std::string_view code) const {
    for (const DeviceTypeEntry& entry : m_entries) {
        if (EqualsNoCase(entry.fields.code, code)) return &entry;
    }
    return nullptr;
}

const DeviceTypeEntry* Catalogue::FindByHardwareType(std::int32_t hardwareType) const {
    for (const DeviceTypeEntry& entry : m_entries) {
        if (entry.fields.hardwareType == hardwareType) return &entry;
    }
    return nullptr;
}

const DeviceTypeEntry* Catalogue::FindBySapType(std::int32_t sapType) const {
    for (const DeviceTypeEntry& entry : m_entries) {
        for (std::size_t i = 0; i < entry.fields.sapTypeCount; ++i) {
            if (entry.fields.sapTypes[i] == sapType) return &entry;
        }
    }
    return nullptr;
}

std::int32_t Catalogue::HardwareTypeForFilter(std::string_view filter) const {
    if (!filter.empty() && filter.front() == '*') return -1;
    const DeviceTypeEntry* entry = FindByCode(filter);
    return entry != nullptr ? entry->fields.hardwareType : -1;
}

const HardwareType* Catalogue::FindHardwareType(std::int32_t number) const {
    for (const HardwareType& type : m_hardwareTypes) {
        if (type.number == number) return &type;
    }
    return nullptr;
}

std::int32_t Catalogue::HardwareTypeName(std::int32_t number, const char** name) const {
    const HardwareType* type = FindHardwareType(number);
    if (type == nullptr) return kHlpNoHardwareTypeName;
    if (name != nullptr) *name = type->name;
    return kHlpOk;
}

bool Catalogue::IsManufacturerCode(char c) const {
    for (char code : m_manufacturerCodes) {
        if (code == '\0') return false;
        if (code == c) return true;
    }
    return false;
}

Catalogue& LoadedCatalogue() {
    static Catalogue catalogue;
    return catalogue;
}

LookupOrder ReadLookupOrder() {
    const RegKey servers = RegKey::Open(HKEY_LOCAL_MACHINE, reg::kServersKeyA);
    if (!servers) return {};
    char text[256] = {};
    const RegValueInfo info = servers.Query(reg::kIpLookupMethodsA, text, sizeof(text) - 1);
    if (info.status != ERROR_SUCCESS) return {};
    return ParseLookupMethods(std::string_view(text, info.size));
}

std::int32_t ReadDeviceFile(char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return kHlpRegistryFailure;
    buffer[0] = '\0';
    const RegKey servers = RegKey::Open(HKEY_LOCAL_MACHINE, reg::kServersKeyA);
    if (!servers) return kHlpRegistryFailure;
    const RegValueInfo info = servers.Query(reg::kDeviceFileA, buffer, size);
    if (info.status != ERROR_SUCCESS || (info.type != REG_SZ && info.type != REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return kHlpRegistryFailure;
    }
    const DWORD stored = info.size;
    // Text stored without its NUL that exactly fills the buffer does not fit.
    const std::string_view text(buffer, stored);
    const std::size_t end = text.find('\0');
    if (end == std::string_view::npos) {
        if (stored >= size) {
            buffer[0] = '\0';
            return kHlpRegistryFailure;
        }
        buffer[stored] = '\0';
    }
    return kHlpOk;
}

}  // namespace kvr::browse
