#include "PasswordScramble.h"

// Every low byte of ScrambleKeyA has bit 7 set and every low byte of
// ScrambleKeyB has it clear, so the XOR of the two always has bit 7 set: an
// ASCII character never scrambles to a zero low byte, which would cut the
// password short on the wire.
const std::uint16_t ScrambleKeyA[31] = {
    0x4B93, 0x17C5, 0x2EA1, 0x63F7, 0x0A8C, 0x5DB2, 0x31E9, 0x7C86, 0x1F9D, 0x48D4, 0x26AB,
    0x6BC0, 0x03F1, 0x59A7, 0x3C8E, 0x72B5, 0x14DA, 0x4EC3, 0x2B98, 0x67AF, 0x0DE6, 0x5291,
    0x38BC, 0x7DA2, 0x1AF8, 0x45CD, 0x23B6, 0x6E9A, 0x09C4, 0x57E3, 0x3FB8,
};

const std::uint16_t ScrambleKeyB[17] = {
    0x2D4E, 0x7139, 0x0C62, 0x5A17, 0x3E5C, 0x6423, 0x1B71, 0x4F08, 0x2746,
    0x7A35, 0x0553, 0x5C2A, 0x3367, 0x6911, 0x165D, 0x4234, 0x2E0F,
};

void ScramblePasswordWithSeed(const char16_t* source, std::size_t count, std::uint16_t* out,
                              std::uint16_t seed) {
    if (source == nullptr || out == nullptr) return;
    if (count == 0) {
        out[0] = 0;
        return;
    }
    out[0] = static_cast<std::uint16_t>((seed >> 8) & 0xFF);
    out[1] = static_cast<std::uint16_t>(seed & 0xFF);
    for (std::size_t i = 0; i < kScrambledChars; ++i) {
        out[2 + i] = static_cast<std::uint16_t>(source[i % count] ^ ScrambleKeyA[(seed + i) % 31] ^
                                                ScrambleKeyB[i % 17]);
    }
}

std::uint16_t DrawScrambleSeed(std::uint32_t (*random15)()) {
    for (;;) {
        random15();  // the first of two draws is discarded
        const auto seed = static_cast<std::uint16_t>(random15() & 0x7FFF);
        if ((seed & 0xFF) != 0 && (seed >> 8) != 0) return seed;
    }
}

std::size_t UnscramblePassword(const std::uint8_t* wire, std::size_t length, char16_t* out,
                               std::size_t outChars) {
    if (out == nullptr || outChars == 0) return 0;
    std::size_t n = 0;
    if (wire != nullptr && length >= 2) {
        const auto seed = static_cast<std::uint16_t>((wire[0] << 8) | wire[1]);
        for (std::size_t i = 0; i < kScrambledChars && 2 + i < length && n + 1 < outChars; ++i) {
            const auto c = static_cast<std::uint8_t>(wire[2 + i] ^ ScrambleKeyA[(seed + i) % 31] ^
                                                     ScrambleKeyB[i % 17]);
            if (c == 0) break;
            out[n++] = c;
        }
    }
    out[n] = 0;
    return n;
}
