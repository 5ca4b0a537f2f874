#pragma once
// The reversible scrambling of passwords sent on the server wire. The two key
// tables are constants of the protocol, shared with the remote access server.
#include <cstddef>
#include <cstdint>

constexpr std::size_t kScrambledValues = 19;    // two seed values, 17 scrambled
constexpr std::size_t kScrambledBuffer = 20;    // with room for a terminator
constexpr std::size_t kScrambledChars = 17;

extern const std::uint16_t ScrambleKeyA[31];
extern const std::uint16_t ScrambleKeyB[17];

// Scrambles source[0..count) (count = length + 1, the terminator takes part)
// into out[0..19) with the given 15-bit seed.
void ScramblePasswordWithSeed(const char16_t* source, std::size_t count, std::uint16_t* out,
                              std::uint16_t seed);

// Draws a seed whose two bytes are both non-zero: the wire form stops at the
// first zero value, so a zero seed byte would send an empty password.
std::uint16_t DrawScrambleSeed(std::uint32_t (*random15)());

// Recovers a password from the wire form: the low bytes of the scrambled
// values as received. Writes at most kScrambledChars characters and a NUL;
// returns the number of characters.
std::size_t UnscramblePassword(const std::uint8_t* wire, std::size_t length, char16_t* out,
                               std::size_t outChars);
