#include <gtest/gtest.h>

#include <string>

#include "PasswordScramble.h"

namespace {

// The wire carries the low bytes of the values up to the first zero value.
std::basic_string<std::uint8_t> WireForm(const std::uint16_t* scrambled) {
    std::basic_string<std::uint8_t> wire;
    for (std::size_t i = 0; i < kScrambledValues && scrambled[i] != 0; ++i)
        wire.push_back(static_cast<std::uint8_t>(scrambled[i]));
    return wire;
}

std::u16string RoundTrip(const std::u16string& password, std::uint16_t seed) {
    std::uint16_t scrambled[kScrambledBuffer] = {};
    ScramblePasswordWithSeed(password.c_str(), password.size() + 1, scrambled, seed);
    const auto wire = WireForm(scrambled);
    char16_t out[kScrambledChars + 1];
    const auto n = UnscramblePassword(wire.data(), wire.size(), out, std::size(out));
    return std::u16string(out, n);
}

}  // namespace

TEST(ScramblePassword, SeedFillsTheFirstTwoValues) {
    std::uint16_t out[kScrambledBuffer] = {};
    ScramblePasswordWithSeed(u"abc", 4, out, 0x1234);
    EXPECT_EQ(0x12, out[0]);
    EXPECT_EQ(0x34, out[1]);
}

TEST(ScramblePassword, EmptyPasswordXorsTheKeysWithZero) {
    std::uint16_t out[kScrambledBuffer] = {};
    const std::uint16_t seed = 0x0305;
    ScramblePasswordWithSeed(u"", 1, out, seed);
    for (std::size_t i = 0; i < kScrambledChars; ++i)
        EXPECT_EQ(ScrambleKeyA[(seed + i) % 31] ^ ScrambleKeyB[i % 17], out[2 + i]) << i;
}

TEST(ScramblePassword, CountZeroWritesOnlyATerminator) {
    std::uint16_t out[kScrambledBuffer] = {0xAAAA, 0xBBBB};
    ScramblePasswordWithSeed(u"x", 0, out, 0x0101);
    EXPECT_EQ(0, out[0]);
    EXPECT_EQ(0xBBBB, out[1]);
}

TEST(ScramblePassword, ShortPasswordsRepeatWithTheirTerminator) {
    std::uint16_t out[kScrambledBuffer] = {};
    const std::uint16_t seed = 0x0102;
    ScramblePasswordWithSeed(u"ab", 3, out, seed);
    const char16_t expected[] = u"ab\0ab\0ab\0ab\0ab\0ab";  // positions 0..16
    for (std::size_t i = 0; i < kScrambledChars; ++i)
        EXPECT_EQ(expected[i], out[2 + i] ^ ScrambleKeyA[(seed + i) % 31] ^ ScrambleKeyB[i % 17]);
}

TEST(ScramblePassword, RoundTripsThroughTheWireForm) {
    struct Case {
        std::u16string password;
        std::u16string recovered;
    } cases[] = {
        {u"", u""},
        {u"secret", u"secret"},
        {u"0123456789abcdef", u"0123456789abcdef"},      // 16: terminator at 16
        {u"0123456789abcdefg", u"0123456789abcdefg"},    // 17: no terminator
        {u"0123456789abcdefghij", u"0123456789abcdefg"}, // longer ones are cut
        {u"~ !\x7f", u"~ !\x7f"},
    };
    for (const auto& c : cases)
        for (std::uint16_t seed : {0x0101, 0x7FFF, 0x1234, 0x7E01})
            EXPECT_EQ(c.recovered, RoundTrip(c.password, seed));
}

TEST(ScramblePassword, AsciiNeverScramblesToAZeroLowByte) {
    for (std::uint16_t seed = 0; seed < 31; ++seed)
        for (char16_t c = 0; c < 0x80; ++c)
            for (std::size_t i = 0; i < kScrambledChars; ++i)
                EXPECT_NE(0, (c ^ ScrambleKeyA[(seed + i) % 31] ^ ScrambleKeyB[i % 17]) & 0xFF);
}

TEST(DrawScrambleSeed, SkipsSeedsWithAZeroByte) {
    static std::uint32_t values[] = {1, 0x00FF, 2, 0x0100, 3, 0x0201};
    static std::size_t next = 0;
    next = 0;
    EXPECT_EQ(0x0201, DrawScrambleSeed([]() -> std::uint32_t { return values[next++]; }));
}
