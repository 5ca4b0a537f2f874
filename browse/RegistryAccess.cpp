#include "RegistryAccess.h"

#include <cstring>
#include <vector>

namespace kvr::browse {

UniqueHKey CreateKey(HKEY parent, const char* path) {
    UniqueHKey key;
    if (RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, kCreatedKeyRights,
                        nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        key.Release();
    return key;
}

UniqueHKey OpenKeyForReading(HKEY parent, const char* path, LONG* error) {
    UniqueHKey key;
    const LONG result = RegOpenKeyExA(parent, path, 0, KEY_READ, key.Put());
    if (result != ERROR_SUCCESS) key.Release();
    if (error) *error = result;
    return key;
}

bool WriteText(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

bool WriteDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value)) == ERROR_SUCCESS;
}

bool WriteBinary(HKEY key, const char* name, const void* data, DWORD size) {
    return RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data), size) ==
           ERROR_SUCCESS;
}

std::optional<DWORD> ReadDword(HKEY key, const char* name) {
    DWORD value = 0;
    if (!ReadBytes(key, name, &value, sizeof(value))) return std::nullopt;
    return value;
}

std::optional<std::string> ReadText(HKEY key, const char* name) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    // The value may grow between the two calls; follow it a few times.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<char> data(size + 1, '\0');
        DWORD got = size;
        const LONG result =
            RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &got);
        if (result == ERROR_SUCCESS) return std::string(data.data(), strnlen(data.data(), got));
        if (result != ERROR_MORE_DATA) return std::nullopt;
        size = got > size ? got : size * 2 + 1;
    }
    return std::nullopt;
}

bool ReadBytes(HKEY key, const char* name, void* buffer, DWORD size) {
    DWORD got = size;
    return RegQueryValueExA(key, name, nullptr, nullptr, static_cast<BYTE*>(buffer), &got) ==
           ERROR_SUCCESS;
}

}  // namespace kvr::browse
