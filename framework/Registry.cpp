#include "Registry.h"

#include <cstring>
#include <cwchar>
#include <vector>

namespace kvr {

namespace {

// The A and W forms of the calls, so each operation is written once.
template <typename Char>
struct Api;

template <>
struct Api<wchar_t> {
    static std::size_t Length(const wchar_t* s) { return std::wcslen(s); }
    static LONG CreateKey(HKEY parent, const wchar_t* path, REGSAM rights, HKEY* key, DWORD* disposition) {
        return ::RegCreateKeyExW(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr, key,
                                 disposition);
    }
    static LONG OpenKey(HKEY parent, const wchar_t* path, REGSAM rights, HKEY* key) {
        return ::RegOpenKeyExW(parent, path, 0, rights, key);
    }
    static LONG QueryValue(HKEY key, const wchar_t* name, DWORD* type, void* data, DWORD* size) {
        return ::RegQueryValueExW(key, name, nullptr, type, static_cast<BYTE*>(data), size);
    }
    static LONG SetValue(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    static LONG DeleteTree(HKEY key, const wchar_t* subkey) { return ::RegDeleteTreeW(key, subkey); }
    static LONG EnumKey(HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    }
    static LONG QueryLongestValue(HKEY key, DWORD* name, DWORD* data) {
        return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, name, data,
                                  nullptr, nullptr);
    }
    static LONG EnumValue(HKEY key, DWORD index, wchar_t* name, DWORD* length, DWORD* type, void* data,
                          DWORD* size) {
        return ::RegEnumValueW(key, index, name, length, nullptr, type, static_cast<BYTE*>(data), size);
    }
};

template <>
struct Api<char> {
    static std::size_t Length(const char* s) { return std::strlen(s); }
    static LONG CreateKey(HKEY parent, const char* path, REGSAM rights, HKEY* key, DWORD* disposition) {
        return ::RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, rights, nullptr, key,
                                 disposition);
    }
    static LONG OpenKey(HKEY parent, const char* path, REGSAM rights, HKEY* key) {
        return ::RegOpenKeyExA(parent, path, 0, rights, key);
    }
    static LONG QueryValue(HKEY key, const char* name, DWORD* type, void* data, DWORD* size) {
        return ::RegQueryValueExA(key, name, nullptr, type, static_cast<BYTE*>(data), size);
    }
    static LONG SetValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
        return ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    }
    static LONG DeleteTree(HKEY key, const char* subkey) { return ::RegDeleteTreeA(key, subkey); }
    static LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* length) {
        return ::RegEnumKeyExA(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    }
    static LONG QueryLongestValue(HKEY key, DWORD* name, DWORD* data) {
        return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, name, data,
                                  nullptr, nullptr);
    }
    static LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* length, DWORD* type, void* data, DWORD* size) {
        return ::RegEnumValueA(key, index, name, length, nullptr, type, static_cast<BYTE*>(data), size);
    }
};

template <typename Char>
RegKey CreateKey(HKEY parent, const Char* path, REGSAM rights, bool* created, LONG* error) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    const LONG status = Api<Char>::CreateKey(parent, path, rights, &key, &disposition);
    if (error != nullptr) *error = status;
    if (created != nullptr) *created = status == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY;
    return RegKey(status == ERROR_SUCCESS ? key : nullptr);
}

template <typename Char>
RegKey OpenKey(HKEY parent, const Char* path, REGSAM rights, LONG* error) {
    HKEY key = nullptr;
    const LONG status = Api<Char>::OpenKey(parent, path, rights, &key);
    if (error != nullptr) *error = status;
    return RegKey(status == ERROR_SUCCESS ? key : nullptr);
}

template <typename Char>
RegValueInfo QueryValue(HKEY key, const Char* name, void* data, DWORD size) {
    RegValueInfo info;
    info.size = size;
    info.status = Api<Char>::QueryValue(key, name, &info.type, data, &info.size);
    return info;
}

template <typename Char>
std::optional<DWORD> ReadDwordValue(HKEY key, const Char* name) {
    DWORD value = 0;
    const RegValueInfo info = QueryValue(key, name, &value, sizeof value);
    if (info.status != ERROR_SUCCESS || info.type != REG_DWORD || info.size != sizeof value) return std::nullopt;
    return value;
}

template <typename Char>
std::optional<std::basic_string<Char>> ReadTextValue(HKEY key, const Char* name, bool anyType = false) {
    RegValueInfo info = QueryValue(key, name, nullptr, 0);
    // The value may grow between two calls; follow it a few times.
    for (int attempt = 0; attempt < 4 && info.Found(); ++attempt) {
        if (!anyType && info.type != REG_SZ && info.type != REG_EXPAND_SZ) return std::nullopt;
        std::vector<Char> data(info.size / sizeof(Char) + 1, Char{});
        const DWORD capacity = info.size;
        info = QueryValue(key, name, data.data(), capacity);
        if (info.status == ERROR_SUCCESS) {
            std::size_t length = 0;
            const std::size_t stored = info.size / sizeof(Char);
            while (length < stored && data[length] != Char{}) ++length;
            return std::basic_string<Char>(data.data(), length);
        }
        if (info.status == ERROR_MORE_DATA && info.size <= capacity) info.size = capacity * 2 + sizeof(Char);
    }
    return std::nullopt;
}

template <typename Char>
bool ReadBytesValue(HKEY key, const Char* name, void* buffer, DWORD size) {
    return QueryValue(key, name, buffer, size).status == ERROR_SUCCESS;
}

template <typename Char>
bool WriteValue(HKEY key, const Char* name, DWORD type, const void* data, DWORD size) {
    return Api<Char>::SetValue(key, name, type, data, size) == ERROR_SUCCESS;
}

template <typename Char>
std::optional<std::basic_string<Char>> SubKeyNameOf(HKEY key, DWORD index, LONG* status) {
    Char name[257];  // the longest key name and its NUL
    DWORD length = 257;
    const LONG result = Api<Char>::EnumKey(key, index, name, &length);
    if (status != nullptr) *status = result;
    if (result != ERROR_SUCCESS) return std::nullopt;
    return std::basic_string<Char>(name, length);
}

template <typename Char>
std::optional<RegNamedValue<Char>> ValueAtIndex(HKEY key, DWORD index, LONG* status) {
    DWORD nameCapacity = 0;
    DWORD dataCapacity = 0;
    LONG result = Api<Char>::QueryLongestValue(key, &nameCapacity, &dataCapacity);
    // The longest name in characters may take more bytes in the narrow form,
    // and a value may grow between two calls: grow the buffers a few times.
    for (int attempt = 0; attempt < 4 && result == ERROR_SUCCESS; ++attempt) {
        nameCapacity = nameCapacity * 2 + 2;
        std::vector<Char> name(nameCapacity);
        RegNamedValue<Char> value;
        value.data.resize(dataCapacity);
        DWORD nameLength = nameCapacity;
        DWORD dataSize = dataCapacity;
        result = Api<Char>::EnumValue(key, index, name.data(), &nameLength, &value.type, value.data.data(), &dataSize);
        if (result == ERROR_SUCCESS) {
            if (status != nullptr) *status = result;
            value.name.assign(name.data(), nameLength);
            value.data.resize(dataSize);
            return value;
        }
        if (result == ERROR_MORE_DATA) {
            dataCapacity = dataSize > dataCapacity ? dataSize : dataCapacity * 2 + 2;
            result = ERROR_SUCCESS;
        }
    }
    if (status != nullptr) *status = result == ERROR_SUCCESS ? ERROR_MORE_DATA : result;
    return std::nullopt;
}

}  // namespace

RegKey RegKey::Create(HKEY parent, const wchar_t* path, REGSAM rights, bool* created, LONG* error) {
    return CreateKey(parent, path, rights, created, error);
}
RegKey RegKey::Create(HKEY parent, const char* path, REGSAM rights, bool* created, LONG* error) {
    return CreateKey(parent, path, rights, created, error);
}
RegKey RegKey::Open(HKEY parent, const wchar_t* path, REGSAM rights, LONG* error) {
    return OpenKey(parent, path, rights, error);
}
RegKey RegKey::Open(HKEY parent, const char* path, REGSAM rights, LONG* error) {
    return OpenKey(parent, path, rights, error);
}

RegValueInfo RegKey::Query(const wchar_t* name, void* data, DWORD size) const {
    return QueryValue(Get(), name, data, size);
}
RegValueInfo RegKey::Query(const char* name, void* data, DWORD size) const {
    return QueryValue(Get(), name, data, size);
}

std::optional<DWORD> RegKey::ReadDword(const wchar_t* name) const { return ReadDwordValue(Get(), name); }
std::optional<DWORD> RegKey::ReadDword(const char* name) const { return ReadDwordValue(Get(), name); }

std::optional<std::wstring> RegKey::ReadText(const wchar_t* name) const { return ReadTextValue(Get(), name); }
std::optional<std::string> RegKey::ReadText(const char* name) const { return ReadTextValue(Get(), name); }

bool RegKey::ReadText(const wchar_t* name, wchar_t* out, std::size_t capacity) const {
    if (out == nullptr || capacity == 0) return false;
    const std::optional<std::wstring> text = ReadText(name);
    if (!text || text->size() >= capacity) return false;
    std::wmemcpy(out, text->c_str(), text->size() + 1);
    return true;
}
std::optional<std::wstring> RegKey::ReadAnyAsText(const wchar_t* name) const {
    return ReadTextValue(Get(), name, true);
}
std::optional<std::string> RegKey::ReadAnyAsText(const char* name) const { return ReadTextValue(Get(), name, true); }

bool RegKey::ReadBytes(const wchar_t* name, void* buffer, DWORD size) const {
    return ReadBytesValue(Get(), name, buffer, size);
}
bool RegKey::ReadBytes(const char* name, void* buffer, DWORD size) const {
    return ReadBytesValue(Get(), name, buffer, size);
}

bool RegKey::WriteDword(const wchar_t* name, DWORD value) const {
    return WriteValue(Get(), name, REG_DWORD, &value, sizeof value);
}
bool RegKey::WriteDword(const char* name, DWORD value) const {
    return WriteValue(Get(), name, REG_DWORD, &value, sizeof value);
}

bool RegKey::WriteText(const wchar_t* name, const std::wstring& text) const {
    return WriteValue(Get(), name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}
bool RegKey::WriteText(const char* name, const std::string& text) const {
    return WriteValue(Get(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool RegKey::WriteBinary(const wchar_t* name, const void* data, DWORD size) const {
    return WriteValue(Get(), name, REG_BINARY, data, size);
}
bool RegKey::WriteBinary(const char* name, const void* data, DWORD size) const {
    return WriteValue(Get(), name, REG_BINARY, data, size);
}

bool RegKey::DeleteValue(const wchar_t* name) const { return ::RegDeleteValueW(Get(), name) == ERROR_SUCCESS; }

bool RegKey::DeleteTree(const wchar_t* subkey) const { return Api<wchar_t>::DeleteTree(Get(), subkey) == ERROR_SUCCESS; }
bool RegKey::DeleteTree(const char* subkey) const { return Api<char>::DeleteTree(Get(), subkey) == ERROR_SUCCESS; }

std::optional<std::wstring> RegKey::SubKeyName(DWORD index, LONG* status) const {
    return SubKeyNameOf<wchar_t>(Get(), index, status);
}
std::optional<std::string> RegKey::SubKeyNameA(DWORD index, LONG* status) const {
    return SubKeyNameOf<char>(Get(), index, status);
}

std::optional<DWORD> RegKey::SubKeyCount() const {
    DWORD count = 0;
    if (::RegQueryInfoKeyW(Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr) != ERROR_SUCCESS)
        return std::nullopt;
    return count;
}

std::optional<RegNamedValue<wchar_t>> RegKey::ValueAt(DWORD index, LONG* status) const {
    return ValueAtIndex<wchar_t>(Get(), index, status);
}
std::optional<RegNamedValue<char>> RegKey::ValueAtA(DWORD index, LONG* status) const {
    return ValueAtIndex<char>(Get(), index, status);
}

}  // namespace kvr
