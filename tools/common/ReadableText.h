#pragma once
// Free text from devices and the registry, printed by the command-line tools
// as a person reads it and safe on any terminal.
#include <cstddef>
#include <string>
#include <string_view>

namespace kvr {

// The text in double quotes: printable ASCII as it stands, spaces included;
// a quote or backslash after a backslash; every other byte (control
// characters, DEL, and bytes from 0x80, whose meaning depends on a code page
// and some of which terminals obey) as \xNN. A script finds the field's end
// at the first quote not after a backslash.
inline std::string Quoted(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

// A NUL-terminated text in a fixed field of `size` bytes, which may lack its
// NUL.
inline std::string Quoted(const char* field, std::size_t size) {
    std::size_t length = 0;
    while (length < size && field[length] != '\0') ++length;
    return Quoted(std::string_view(field, length));
}

}  // namespace kvr
