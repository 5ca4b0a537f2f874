#include "TestPeerCodec.h"

#include <algorithm>

#include "common/PasswordScramble.h"

namespace peer {

Parse ParseServerMessage(const std::uint8_t* data, std::size_t count, ServerMessage& out,
                         std::size_t& length) {
    if (count == 0) return Parse::kIncomplete;
    out = ServerMessage{};
    out.type = data[0];
    auto counted = [&](std::size_t at, std::string& text) -> std::size_t {
        if (at >= count || data[at] > count - at - 1) return 0;
        text.assign(data + at + 1, data + at + 1 + data[at]);
        return at + 1 + data[at];
    };
    switch (out.type) {
    case 0: {
        if (count < 3) return Parse::kIncomplete;
        const std::size_t n = (std::size_t{data[1]} << 8) | data[2];
        if (count - 3 < n) return Parse::kIncomplete;
        out.data.assign(data + 3, data + 3 + n);
        length = 3 + n;
        return Parse::kComplete;
    }
    case 2: {
        if (count < 3) return Parse::kIncomplete;
        out.reason = data[1];
        length = counted(2, out.text);
        return length == 0 ? Parse::kIncomplete : Parse::kComplete;
    }
    case 3: {
        if (count < 4) return Parse::kIncomplete;
        out.version = static_cast<std::uint16_t>((data[1] << 8) | data[2]);
        length = counted(3, out.text);
        if (length == 0) return Parse::kIncomplete;
        if (out.version >= 0x0300) {
            if (length >= count) return Parse::kIncomplete;
            out.hasFlag = true;
            out.flag = data[length++];
        }
        return Parse::kComplete;
    }
    case 4:
        if (count < 9) return Parse::kIncomplete;
        std::copy(data + 1, data + 9, out.settings.begin());
        length = 9;
        return Parse::kComplete;
    case 5:
        if (count < 5) return Parse::kIncomplete;
        std::copy(data + 1, data + 5, out.status.begin());
        length = 5;
        return Parse::kComplete;
    case 6:
    case 7:
        if (count < 2) return Parse::kIncomplete;
        length = 2;
        return Parse::kComplete;
    case 10:
    case 11:
        length = 1;
        return Parse::kComplete;
    default:
        return Parse::kUnknown;
    }
}

Bytes Counted(std::string_view text) {
    Bytes out(1 + text.size());
    out[0] = static_cast<std::uint8_t>(text.size());
    std::copy(text.begin(), text.end(), out.begin() + 1);
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Login(std::string_view user, const Bytes& scrambled, std::string_view port) {
    Bytes password(1 + scrambled.size());
    password[0] = static_cast<std::uint8_t>(scrambled.size());
    std::copy(scrambled.begin(), scrambled.end(), password.begin() + 1);
    return Bytes{1} + Counted(user) + password + Counted(port);
}

Bytes Data(const Bytes& bytes) {
    Bytes out{0, static_cast<std::uint8_t>(bytes.size() >> 8),
              static_cast<std::uint8_t>(bytes.size() & 0xFF)};
    return out + bytes;
}

Bytes Data(std::string_view bytes) { return Data(Bytes(bytes.begin(), bytes.end())); }

Bytes Settings(const std::array<std::uint8_t, 8>& settings) {
    Bytes out(9);
    out[0] = 4;
    std::copy(settings.begin(), settings.end(), out.begin() + 1);
    return out;
}

Bytes KeepAlive() { return Bytes{7, 0}; }

Bytes ChangePassword(const Bytes& oldScrambled, const Bytes& newScrambled) {
    Bytes out{9, static_cast<std::uint8_t>(oldScrambled.size())};
    out = out + oldScrambled;
    out.push_back(static_cast<std::uint8_t>(newScrambled.size()));
    return out + newScrambled;
}

Bytes Scrambled(std::u16string_view password, std::uint16_t seed) {
    std::u16string source(password);
    std::uint16_t values[kScrambledBuffer] = {};
    ScramblePasswordWithSeed(source.c_str(), source.size() + 1, values, seed);
    Bytes out;
    for (std::size_t i = 0; i < kScrambledValues && values[i] != 0; ++i)
        out.push_back(static_cast<std::uint8_t>(values[i]));
    return out;
}

}  // namespace peer
