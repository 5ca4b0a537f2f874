#pragma once
// The one registry layer: an owned key with typed reads and writes of its
// values, in wide and narrow forms. Wide names suit the service and the
// applet; the browsing library speaks ANSI. The registry compares key and
// value names without regard to case.
#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

#include "Handles.h"

namespace kvr {

// Rights of keys we create: enough to write values and to list and replace
// subkeys, nothing more.
inline constexpr REGSAM kKeyWriteRights =
    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;

// What one query of a value found: the registry's status, the value's type
// and its size in bytes (the full size even when the buffer was too small).
struct RegValueInfo {
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD type = REG_NONE;
    DWORD size = 0;
    bool Found() const { return status == ERROR_SUCCESS || status == ERROR_MORE_DATA; }
};

// One value as enumeration finds it. Texts are in the character form of the
// call that read them; data holds the stored bytes.
template <typename Char>
struct RegNamedValue {
    std::basic_string<Char> name;
    DWORD type = REG_NONE;
    std::string data;
};

class RegKey {
public:
    RegKey() = default;
    explicit RegKey(HKEY key) : m_key(key) {}

    // Creates or opens a non-volatile key; invalid on failure. `created`
    // tells whether the key is new, `error` gives the registry's code.
    static RegKey Create(HKEY parent, const wchar_t* path, REGSAM rights = kKeyWriteRights,
                         bool* created = nullptr, LONG* error = nullptr);
    static RegKey Create(HKEY parent, const char* path, REGSAM rights = kKeyWriteRights,
                         bool* created = nullptr, LONG* error = nullptr);
    // Opens an existing key; invalid on failure.
    static RegKey Open(HKEY parent, const wchar_t* path, REGSAM rights = KEY_READ, LONG* error = nullptr);
    static RegKey Open(HKEY parent, const char* path, REGSAM rights = KEY_READ, LONG* error = nullptr);

    HKEY Get() const { return m_key.Get(); }
    explicit operator bool() const { return m_key.IsValid(); }
    HKEY Release() { return m_key.Release(); }

    // The raw query: at most `size` bytes into data (which may be null to
    // learn the type and size only).
    RegValueInfo Query(const wchar_t* name, void* data, DWORD size) const;
    RegValueInfo Query(const char* name, void* data, DWORD size) const;

    // A REG_DWORD of exactly four bytes; nothing for any other value.
    std::optional<DWORD> ReadDword(const wchar_t* name) const;
    std::optional<DWORD> ReadDword(const char* name) const;
    // A REG_SZ or REG_EXPAND_SZ, whole, up to its first NUL (a stored text may
    // lack its terminator).
    std::optional<std::wstring> ReadText(const wchar_t* name) const;
    std::optional<std::string> ReadText(const char* name) const;
    // The same into a fixed buffer: at most capacity - 1 characters and the
    // NUL. A longer text counts as missing (a name or password cut short
    // would be a wrong one); on a miss out is left alone.
    bool ReadText(const wchar_t* name, wchar_t* out, std::size_t capacity) const;
    // The data of a value of any type, whole, up to its first NUL: for
    // readers that take whatever is stored as text.
    std::optional<std::wstring> ReadAnyAsText(const wchar_t* name) const;
    std::optional<std::string> ReadAnyAsText(const char* name) const;
    // At most `size` bytes of a value of any type into buffer (the rest of
    // which is left alone); false when it is missing or does not fit.
    bool ReadBytes(const wchar_t* name, void* buffer, DWORD size) const;
    bool ReadBytes(const char* name, void* buffer, DWORD size) const;

    bool WriteDword(const wchar_t* name, DWORD value) const;
    bool WriteDword(const char* name, DWORD value) const;
    // REG_SZ with its terminating NUL.
    bool WriteText(const wchar_t* name, const std::wstring& text) const;
    bool WriteText(const char* name, const std::string& text) const;
    bool WriteBinary(const wchar_t* name, const void* data, DWORD size) const;
    bool WriteBinary(const char* name, const void* data, DWORD size) const;

    bool DeleteValue(const wchar_t* name) const;
    // Removes a subkey with everything below it.
    bool DeleteTree(const wchar_t* subkey) const;
    bool DeleteTree(const char* subkey) const;

    // The name of subkey `index`, or nothing at the end or on an error
    // (`status` tells which).
    std::optional<std::wstring> SubKeyName(DWORD index, LONG* status = nullptr) const;
    std::optional<std::string> SubKeyNameA(DWORD index, LONG* status = nullptr) const;
    // Number of subkeys; nothing if the key cannot be asked.
    std::optional<DWORD> SubKeyCount() const;

    // Value `index` in enumeration order: its name, type and data as stored,
    // whatever their sizes. Nothing at the end or on an error (`status` tells
    // which).
    std::optional<RegNamedValue<wchar_t>> ValueAt(DWORD index, LONG* status = nullptr) const;
    std::optional<RegNamedValue<char>> ValueAtA(DWORD index, LONG* status = nullptr) const;

private:
    UniqueHKey m_key;
};

}  // namespace kvr
