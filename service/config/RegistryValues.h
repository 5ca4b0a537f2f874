#pragma once
// Typed reads of single registry values. A value that is absent, of another
// type or of another size counts as missing, so the caller takes its default.
#include <windows.h>

#include <cstddef>
#include <optional>

namespace kvr {

// A REG_DWORD of exactly four bytes.
std::optional<DWORD> ReadDwordValue(HKEY key, const wchar_t* name);

// A REG_SZ of at most capacity - 1 characters, copied NUL-terminated into
// out[0..capacity). A longer string counts as missing: cutting a password or
// user name short would send a wrong one. On a miss out is left untouched.
bool ReadStringValue(HKEY key, const wchar_t* name, wchar_t* out, std::size_t capacity);

}  // namespace kvr
