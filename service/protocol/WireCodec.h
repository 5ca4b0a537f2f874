#pragma once
// Builders and the incremental parser of the server wire protocol. Plain C++
// over byte buffers (no windows.h), so the codec also builds natively.
#include <cstddef>
#include <cstdint>

#include "PasswordScramble.h"
#include "SerialSettings.h"
#include "WireTypes.h"

namespace wire {

constexpr std::size_t kDataHeaderSize = 3;      // type and 16-bit length
constexpr std::size_t kMaxDataLength = 0xFFFF;  // what the 16-bit length can say
constexpr std::size_t kSettingsMessageSize = 1 + sizeof(SerialSettings);
constexpr std::size_t kKeepAliveMessageSize = 2;

// Builders: each writes one message into buf[0..capacity) and returns its
// length, or 0 (nothing meaningful written) when the message does not fit.

// Writes as much of data as fits (at most capacity - 3 and at most 65535
// bytes). The data bytes taken are the result minus kDataHeaderSize, so a
// caller with more data sends the rest in further messages; nothing is cut
// silently. Needs capacity of at least 3; data may be null only when n is 0.
std::size_t BuildData(std::uint8_t* buf, std::size_t capacity, const std::uint8_t* data,
                      std::size_t n);

// User name, password and the server's port name as counted strings. A null
// or empty scrambled password sends an empty password (silent login). The
// whole message must fit: 0 rather than a login with a shortened field.
std::size_t BuildLogin(std::uint8_t* buf, std::size_t capacity, const char16_t* user,
                       const std::uint16_t* scrambledOrNull, const char16_t* port);

std::size_t BuildSettings(std::uint8_t* buf, std::size_t capacity, const SerialSettings& settings);

std::size_t BuildKeepAlive(std::uint8_t* buf, std::size_t capacity);

// Both passwords scrambled; 0 unless the whole message fits.
std::size_t BuildChangePassword(std::uint8_t* buf, std::size_t capacity,
                                const std::uint16_t* oldScrambled,
                                const std::uint16_t* newScrambled);

// One count byte and the low bytes of the UTF-16 units up to the NUL, at
// most 255 and at most capacity - 1 of them. Capacity 0 writes nothing and
// returns 0; a null text writes an empty string.
std::size_t WriteCountedString(std::uint8_t* buf, std::size_t capacity, const char16_t* text);

// A scrambled password as a counted string: the low bytes of its values up to
// the first value that is 0, at most 19 (so at most 19 values are read).
std::size_t WriteScrambledString(std::uint8_t* buf, std::size_t capacity,
                                 const std::uint16_t* scrambled);

// The last message parsed from the server. Each parse sets type and the
// fields of that type; fields of other types keep their values, so the
// reason of the last disconnect stays available after the socket closed.
struct ServerMessage {
    MessageType type = kData;
    // Points into the parsed buffer: valid only until that buffer changes.
    const std::uint8_t* data = nullptr;
    std::size_t dataLength = 0;
    std::uint8_t modemStatus[4] = {};
    SerialSettings settings = {};
    std::uint8_t reasonCode = 0;
    char16_t reasonText[kMaxCountedString + 1] = {};
    std::uint16_t version = 0;
    char16_t acceptedText[kMaxCountedString + 1] = {};
    std::uint8_t expired = 0;
};

enum class ParseStatus {
    Complete,    // length bytes hold one message, now in the ServerMessage
    Incomplete,  // more bytes are needed; nothing consumed
    Unknown,     // not a message type of the server; length = everything given
};

struct ParseResult {
    ParseStatus status;
    std::size_t length;
};

// Parses the message at p[0..count). On Incomplete and Unknown, out is left
// untouched. A login acceptance of version 0x0300 or later is incomplete
// until its flag byte has arrived.
ParseResult ParseServerMessage(const std::uint8_t* p, std::size_t count, ServerMessage& out);

// For a message that is still incomplete: how many bytes it will occupy once
// complete, or 0 if that cannot be told yet.
std::size_t DeclaredMessageLength(const std::uint8_t* p, std::size_t count);

}  // namespace wire
