#include "WireCodec.h"

#include <algorithm>
#include <cstring>

namespace wire {
namespace {

std::size_t TextLength(const char16_t* text, std::size_t limit) {
    std::size_t n = 0;
    if (text != nullptr) {
        while (n < limit && text[n] != 0) ++n;
    }
    return n;
}

std::size_t ScrambledLength(const std::uint16_t* scrambled) {
    std::size_t n = 0;
    if (scrambled != nullptr) {
        while (n < kScrambledValues && scrambled[n] != 0) ++n;
    }
    return n;
}

// Widens a counted string from the wire into a NUL-terminated text; out holds
// 256 characters, enough for any count.
void WidenCounted(const std::uint8_t* counted, char16_t (&out)[kMaxCountedString + 1]) {
    const std::size_t n = counted[0];
    for (std::size_t i = 0; i < n; ++i) out[i] = counted[1 + i];
    out[n] = 0;
}

std::uint16_t BigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

std::size_t BuildData(std::uint8_t* buf, std::size_t capacity, const std::uint8_t* data,
                      std::size_t n) {
    if (buf == nullptr || capacity < kDataHeaderSize) return 0;
    if (data == nullptr && n != 0) return 0;
    const std::size_t taken = std::min({n, capacity - kDataHeaderSize, kMaxDataLength});
    buf[0] = kData;
    buf[1] = static_cast<std::uint8_t>(taken >> 8);
    buf[2] = static_cast<std::uint8_t>(taken & 0xFF);
    if (taken != 0) std::memcpy(buf + kDataHeaderSize, data, taken);
    return kDataHeaderSize + taken;
}

std::size_t WriteCountedString(std::uint8_t* buf, std::size_t capacity, const char16_t* text) {
    if (buf == nullptr || capacity == 0) return 0;
    const std::size_t n = TextLength(text, std::min(kMaxCountedString, capacity - 1));
    buf[0] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < n; ++i) buf[1 + i] = static_cast<std::uint8_t>(text[i] & 0xFF);
    return 1 + n;
}

std::size_t WriteScrambledString(std::uint8_t* buf, std::size_t capacity,
                                 const std::uint16_t* scrambled) {
    if (buf == nullptr || capacity == 0) return 0;
    const std::size_t n = std::min(ScrambledLength(scrambled), capacity - 1);
    buf[0] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < n; ++i) {
        buf[1 + i] = static_cast<std::uint8_t>(scrambled[i] & 0xFF);
    }
    return 1 + n;
}

std::size_t BuildLogin(std::uint8_t* buf, std::size_t capacity, const char16_t* user,
                       const std::uint16_t* scrambledOrNull, const char16_t* port) {
    const std::size_t needed = 4 + TextLength(user, kMaxCountedString) +
                               ScrambledLength(scrambledOrNull) +
                               TextLength(port, kMaxCountedString);
    if (buf == nullptr || capacity < needed) return 0;
    std::size_t at = 0;
    buf[at++] = kLogin;
    at += WriteCountedString(buf + at, capacity - at, user);
    at += WriteScrambledString(buf + at, capacity - at, scrambledOrNull);
    at += WriteCountedString(buf + at, capacity - at, port);
    return at;
}

std::size_t BuildSettings(std::uint8_t* buf, std::size_t capacity, const SerialSettings& settings) {
    if (buf == nullptr || capacity < kSettingsMessageSize) return 0;
    buf[0] = kSettings;
    std::memcpy(buf + 1, &settings, sizeof settings);
    return kSettingsMessageSize;
}

std::size_t BuildKeepAlive(std::uint8_t* buf, std::size_t capacity) {
    if (buf == nullptr || capacity < kKeepAliveMessageSize) return 0;
    buf[0] = kKeepAlive;
    buf[1] = 0;
    return kKeepAliveMessageSize;
}

std::size_t BuildChangePassword(std::uint8_t* buf, std::size_t capacity,
                                const std::uint16_t* oldScrambled,
                                const std::uint16_t* newScrambled) {
    const std::size_t needed = 3 + ScrambledLength(oldScrambled) + ScrambledLength(newScrambled);
    if (buf == nullptr || capacity < needed) return 0;
    std::size_t at = 0;
    buf[at++] = kChangePassword;
    at += WriteScrambledString(buf + at, capacity - at, oldScrambled);
    at += WriteScrambledString(buf + at, capacity - at, newScrambled);
    return at;
}

std::size_t DeclaredMessageLength(const std::uint8_t* p, std::size_t count) {
    if (p == nullptr || count == 0) return 0;
    switch (p[0]) {
        case kData:
            return count < 3 ? 0 : kDataHeaderSize + BigEndian16(p + 1);
        case kDisconnect:
            return count < 3 ? 0 : 3 + std::size_t{p[2]};
        case kLoginAccepted:
            if (count < 4) return 0;
            return 4 + std::size_t{p[3]} + (BigEndian16(p + 1) >= kVersionWithExpiredFlag ? 1 : 0);
        case kSettings:
            return kSettingsMessageSize;
        case kModemStatus:
            return 5;
        case kCredentialsRequired:
        case kKeepAlive:
            return 2;
        case kPasswordChanged:
        case kPasswordChangeFailed:
            return 1;
        default:
            return 0;
    }
}

ParseResult ParseServerMessage(const std::uint8_t* p, std::size_t count, ServerMessage& out) {
    if (p == nullptr || count == 0) return {ParseStatus::Incomplete, 0};
    switch (p[0]) {
        case kData:
        case kDisconnect:
        case kLoginAccepted:
        case kSettings:
        case kModemStatus:
        case kCredentialsRequired:
        case kKeepAlive:
        case kPasswordChanged:
        case kPasswordChangeFailed:
            break;
        default:
            return {ParseStatus::Unknown, count};
    }
    // Every known type's length can be told from its header; until the header
    // is in, the message is incomplete.
    const std::size_t length = DeclaredMessageLength(p, count);
    if (length == 0 || count < length) return {ParseStatus::Incomplete, 0};

    const auto type = static_cast<MessageType>(p[0]);
    out.type = type;
    out.data = nullptr;
    out.dataLength = 0;
    switch (type) {
        case kData:
            out.data = p + kDataHeaderSize;
            out.dataLength = length - kDataHeaderSize;
            break;
        case kDisconnect:
            out.reasonCode = p[1];
            WidenCounted(p + 2, out.reasonText);
            break;
        case kLoginAccepted:
            out.version = BigEndian16(p + 1);
            WidenCounted(p + 3, out.acceptedText);
            out.expired = out.version >= kVersionWithExpiredFlag ? p[4 + p[3]] : 0;
            break;
        case kSettings:
            std::memcpy(&out.settings, p + 1, sizeof out.settings);
            break;
        case kModemStatus:
            std::memcpy(out.modemStatus, p + 1, sizeof out.modemStatus);
            break;
        default:
            break;
    }
    return {ParseStatus::Complete, length};
}

}  // namespace wire
