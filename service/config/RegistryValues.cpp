#include "RegistryValues.h"

#include <cwchar>
#include <vector>

namespace kvr {

std::optional<DWORD> ReadDwordValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    const LONG rc = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return std::nullopt;
    return value;
}

bool ReadStringValue(HKEY key, const wchar_t* name, wchar_t* out, std::size_t capacity) {
    if (out == nullptr || capacity == 0) return false;
    // One spare character: a stored string may lack its terminator.
    std::vector<wchar_t> buffer(capacity + 1, L'\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LONG rc =
        ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return false;
    buffer[size / sizeof(wchar_t) < buffer.size() ? size / sizeof(wchar_t) : buffer.size() - 1] = L'\0';
    const std::size_t length = std::wcslen(buffer.data());
    if (length >= capacity) return false;
    std::wmemcpy(out, buffer.data(), length + 1);
    return true;
}

}  // namespace kvr
