#pragma once
// Hand-made BER for tests: elements written byte by byte, independent of the
// encoders under test. Plain C++, so native builds (the fuzz seeds) use it too.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace ber {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An element with its length in the shortest form, as agents write it.
inline Bytes Tlv(std::uint8_t tag, const Bytes& content) {
    Bytes out{tag};
    const std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else if (n <= 0xFF) {
        out.insert(out.end(), {0x81, static_cast<std::uint8_t>(n)});
    } else {
        out.insert(out.end(), {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

}  // namespace ber
