#pragma once
// The service's side of the wire, as far as the simulator's tests need it:
// builds client messages byte by byte and reads the server's answers. Kept
// apart from the service's own codec so the two check each other.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace peer {

using Bytes = std::vector<std::uint8_t>;

struct ServerMessage {
    std::uint8_t type = 0;
    Bytes data;
    std::uint8_t reason = 0;
    std::string text;
    std::uint16_t version = 0;
    bool hasFlag = false;
    std::uint8_t flag = 0;
    std::array<std::uint8_t, 8> settings{};
    std::array<std::uint8_t, 4> status{};
};

enum class Parse { kComplete, kIncomplete, kUnknown };

// The simulator always sends the expired flag from version 0x0300 on, so a
// missing flag byte counts as incomplete here.
Parse ParseServerMessage(const std::uint8_t* data, std::size_t count, ServerMessage& out,
                         std::size_t& length);

Bytes Counted(std::string_view text);
Bytes Login(std::string_view user, const Bytes& scrambled, std::string_view port);
Bytes Data(std::string_view bytes);
Bytes Data(const Bytes& bytes);
Bytes Settings(const std::array<std::uint8_t, 8>& settings);
Bytes KeepAlive();
Bytes ChangePassword(const Bytes& oldScrambled, const Bytes& newScrambled);
// The wire form of a scrambled password: low bytes up to the first zero value.
Bytes Scrambled(std::u16string_view password, std::uint16_t seed);

Bytes operator+(Bytes a, const Bytes& b);

}  // namespace peer
