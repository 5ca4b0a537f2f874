#pragma once
// The few narrow-string registry operations the store needs, over owned keys.
// Texts are stored as plain REG_SZ with their terminating NUL, because the
// service reads the same values through the wide calls.
#include <windows.h>

#include <optional>
#include <string>

#include "Handles.h"

namespace kvr::browse {

// Rights of keys the store may create: enough to write values and to list and
// replace subkeys, nothing more.
inline constexpr REGSAM kCreatedKeyRights =
    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;

// Creates or opens a non-volatile key; an invalid key on failure.
UniqueHKey CreateKey(HKEY parent, const char* path);

// Opens an existing key with KEY_READ; the registry's error code in *error.
UniqueHKey OpenKeyForReading(HKEY parent, const char* path, LONG* error = nullptr);

bool WriteText(HKEY key, const char* name, const char* text);
bool WriteDword(HKEY key, const char* name, DWORD value);
bool WriteBinary(HKEY key, const char* name, const void* data, DWORD size);

// A 32-bit value; shorter data is taken as far as it goes. Nothing when the
// value is missing or larger than 4 bytes.
std::optional<DWORD> ReadDword(HKEY key, const char* name);

// The whole stored text up to its first NUL, whatever its length.
std::optional<std::string> ReadText(HKEY key, const char* name);

// Reads at most `size` bytes into buffer (the rest of which is left alone);
// false when the value is missing or does not fit.
bool ReadBytes(HKEY key, const char* name, void* buffer, DWORD size);

}  // namespace kvr::browse
