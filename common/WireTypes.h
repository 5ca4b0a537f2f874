#pragma once
// Message types and reason codes of the server wire protocol, shared by the
// service and the device simulator. Multi-byte integers on the wire are
// big-endian; a message's length follows from its type and contents.
#include <cstddef>
#include <cstdint>

namespace wire {

enum MessageType : std::uint8_t {
    kData = 0,
    kLogin = 1,                 // service to server
    kDisconnect = 2,            // server to service
    kLoginAccepted = 3,         // server to service
    kSettings = 4,              // both ways
    kModemStatus = 5,           // server to service
    kCredentialsRequired = 6,   // server to service
    kKeepAlive = 7,             // both ways
    kChangePassword = 9,        // service to server
    kPasswordChanged = 10,      // server to service
    kPasswordChangeFailed = 11, // server to service
};

enum DisconnectReason : std::uint8_t {
    kReasonNone = 0,
    kReasonPortInUse = 1,
    kReasonRefused = 2,
    kReasonTimedOut = 3,
    kReasonFailed = 4,
    kReasonDialOutDisabled = 5,
    kReasonUnknownPort = 6,
};

// From this protocol version on, a login acceptance carries the expired flag.
constexpr std::uint16_t kVersionWithExpiredFlag = 0x0300;

// Carrier detect in the first modem status byte.
constexpr std::uint8_t kModemStatusCarrier = 0x04;

constexpr std::size_t kMaxCountedString = 255;

}  // namespace wire
