#pragma once
// Parsers for the catalogue's field strings and the lookup-method setting.
// Plain C++ over text without windows.h: the strings come from the registry
// and are treated as untrusted, so nothing here reads past the given view.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kvr::browse {

inline constexpr std::size_t kMaxSapTypes = 8;
inline constexpr std::size_t kMaxSockets = 2;
inline constexpr std::size_t kCodeChars = 7;
inline constexpr std::size_t kEntryNameChars = 47;
inline constexpr std::size_t kHardwareNameChars = 47;

// The parsed fields of one catalogue entry; missing fields stay zero or empty.
struct DeviceTypeFields {
    std::array<std::int32_t, kMaxSapTypes> sapTypes{};
    std::size_t sapTypeCount = 0;  // the list ends at its first zero
    std::array<std::int32_t, kMaxSockets> sockets{};
    std::size_t socketCount = 0;
    std::int32_t hardwareType = 0;
    char code[kCodeChars + 1] = {};  // first CODE item, upper case, cut to 7
    std::int32_t access = 0;
};

// Parses the data of a catalogue value: upper-cased, "#" starts a comment,
// KEYWORD=items fields separated by "/".
DeviceTypeFields ParseFieldString(std::string_view data);

// A number item: "0X..." is hexadecimal, otherwise decimal with an optional
// leading minus; digits are read up to the first other character. Values
// beyond 32 bits saturate rather than wrap.
std::int32_t ParseNumberItem(std::string_view item);

// A subkey name read as a decimal number: leading white space and a sign
// allowed, reading stops at the first non-digit; saturates like above.
std::int32_t ParseDecimalName(std::string_view text);

// Copies text to a fixed field of capacity+1 bytes, cut to capacity and
// always terminated.
// Catalogue names and codes are ASCII; other bytes compare exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);

void CopyCut(std::string_view text, char* field, std::size_t capacity);

// The catalogue entry name: leading blanks and tabs removed.
std::string_view EntryNameOf(std::string_view valueName);

// Place of each discovery method in the run: 1..3, or 0 for off.
struct LookupOrder {
    int deviceFile = 1;
    int proprietary = 2;
    int dns = 3;
    friend bool operator==(const LookupOrder&, const LookupOrder&) = default;
};

// Parses the lookup-method setting; an empty text keeps the default order.
LookupOrder ParseLookupMethods(std::string_view text);

}  // namespace kvr::browse
