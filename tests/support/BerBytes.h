#pragma once
// Hand-made BER for tests: elements written byte by byte, independent of the
// encoders under test. Plain C++, so native builds (the fuzz seeds) use it too.
#include <cstdint>
#include <initializer_list>
#include <iterator>
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

// An identifier's content: the first two arcs in one byte, then each
// sub-identifier in base 128, high groups first.
template <typename Ids>
Bytes OidContent(const Ids& ids) {
    Bytes out{static_cast<std::uint8_t>(40 * ids[0] + ids[1])};
    for (std::size_t i = 2; i < std::size(ids); ++i) {
        const std::uint32_t id = ids[i];
        if (id >= 0x4000) out.push_back(static_cast<std::uint8_t>(0x80 | (id >> 14)));
        if (id >= 0x80) out.push_back(static_cast<std::uint8_t>(0x80 | ((id >> 7) & 0x7F)));
        out.push_back(static_cast<std::uint8_t>(id & 0x7F));
    }
    return out;
}

// The same element with its length in the long form of `count` bytes (1 to
// 4), which BER allows for any length.
inline Bytes TlvLong(std::uint8_t tag, const Bytes& content, std::size_t count) {
    Bytes out{tag, static_cast<std::uint8_t>(0x80 | count)};
    for (std::size_t i = count; i > 0; --i) {
        out.push_back(static_cast<std::uint8_t>(content.size() >> (8 * (i - 1))));
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

}  // namespace ber
