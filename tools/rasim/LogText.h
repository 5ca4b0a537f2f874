#pragma once
// Event lines are space-separated fields that tests split; free text in a field
// is escaped so it never holds a space or a control character.
#include <string>
#include <string_view>

namespace rasim {

inline std::string EscapeField(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c <= 0x20 || c >= 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace rasim
