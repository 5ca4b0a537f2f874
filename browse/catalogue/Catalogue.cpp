#include "Catalogue.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "BrowseErrors.h"
#include "Handles.h"
#include "RegistryNames.h"

namespace kvr::browse {
namespace {

UniqueHKey OpenForReading(HKEY parent, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return UniqueHKey();
    return UniqueHKey(key);
}

// Visits every value of key with buffers as large as the key's largest name
// and data, so one long value cannot end the enumeration early. A value that
// grows between the size query and its read is skipped.
template <typename Visit>
void ForEachValue(HKEY key, Visit visit) {
    DWORD maxName = 0;
    DWORD maxData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, &maxData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::string name(maxName + 1, '\0');
    std::string data(maxData + 1, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);  // room for a terminator of our own
        DWORD type = 0;
        const LONG rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) return;
        visit(std::string_view(name.data(), nameLength), std::string_view(data.data(), dataSize));
    }
}

}  // namespace

std::int32_t Catalogue::Load() {
    Release();
    const UniqueHKey lookup = OpenForReading(HKEY_LOCAL_MACHINE, reg::kLookupKeyA);
    if (!lookup) return kHlpOk;

    if (const UniqueHKey codes = OpenForReading(lookup.Get(), reg::kManufacturerCodesA)) {
        std::size_t count = 0;
        ForEachValue(codes.Get(), [&](std::string_view, std::string_view data) {
            // The list keeps its terminating zero however many values exist.
            if (count < kMaxManufacturerCodes) m_manufacturerCodes[count++] = data.empty() ? '\0' : data[0];
        });
    }

    if (const UniqueHKey types = OpenForReading(lookup.Get(), reg::kHardwareTypesA)) {
        DWORD subkeys = 0;
        if (RegQueryInfoKeyA(types.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            m_hardwareTypes.reserve(subkeys);
            for (DWORD index = 0; index < subkeys; ++index) {
                char subkey[256];
                DWORD length = sizeof(subkey);
                if (RegEnumKeyExA(types.Get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) !=
                    ERROR_SUCCESS)
                    break;
                HardwareType type;
                type.number = ParseDecimalName(std::string_view(subkey, length));
                if (const UniqueHKey typeKey = OpenForReading(types.Get(), subkey)) {
                    char name[256] = {};
                    DWORD size = sizeof(name) - 1;
                    DWORD valueType = 0;
                    if (RegQueryValueExA(typeKey.Get(), reg::kNameA, nullptr, &valueType,
                                         reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
                        (valueType == REG_SZ || valueType == REG_EXPAND_SZ)) {
                        const std::string_view text(name, size);
                        CopyCut(text.substr(0, text.find('\0')), type.name, kHardwareNameChars);
                    }
                }
                m_hardwareTypes.push_back(type);
            }
        }
    }

    ForEachValue(lookup.Get(), [&](std::string_view name, std::string_view data) {
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
    const UniqueHKey servers = OpenForReading(HKEY_LOCAL_MACHINE, reg::kServersKeyA);
    if (!servers) return {};
    char text[256] = {};
    DWORD size = sizeof(text) - 1;
    if (RegQueryValueExA(servers.Get(), reg::kIpLookupMethodsA, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                         &size) != ERROR_SUCCESS)
        return {};
    return ParseLookupMethods(std::string_view(text, size));
}

std::int32_t ReadDeviceFile(char* buffer, std::uint32_t size) {
    if (buffer == nullptr || size == 0) return kHlpRegistryFailure;
    buffer[0] = '\0';
    const UniqueHKey servers = OpenForReading(HKEY_LOCAL_MACHINE, reg::kServersKeyA);
    if (!servers) return kHlpRegistryFailure;
    DWORD type = 0;
    DWORD stored = size;
    if (RegQueryValueExA(servers.Get(), reg::kDeviceFileA, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &stored) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buffer[0] = '\0';
        return kHlpRegistryFailure;
    }
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
