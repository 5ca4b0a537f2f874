#pragma once
// Messages between the port driver and the service on the port pipe, and how
// the driver's port settings map onto SerialSettings. Every pipe message is a
// 32-bit little-endian type followed by its payload; one read is one message.
// Plain C++ over byte buffers (no windows.h).
#include <cstddef>
#include <cstdint>
#include <optional>

#include "RegistryNames.h"
#include "SerialSettings.h"

namespace portpipe {

enum PipeMessageType : std::uint32_t {
    PipeOpen = 1,          // driver to service: the port key name
    PipeOpenResult = 2,    // service to driver
    PipeModemStatus = 3,   // service to driver
    PipeModemControl = 4,  // driver to service
    PipeLineStatus = 5,    // service to driver
    PipeLineControl = 6,   // driver to service
    PipeData = 7,          // both ways
    PipeBaudRate = 8,      // driver to service
    PipeHandFlow = 10,     // driver to service
};

constexpr std::size_t kPipeMessageSize = 1024;
constexpr std::size_t kPipeHeaderSize = 4;
constexpr std::size_t kPipePayloadMax = kPipeMessageSize - kPipeHeaderSize;  // 1020
constexpr std::size_t kPipeStatusMessageSize = 8;
constexpr std::size_t kHandFlowPayloadSize = 16;

constexpr std::uint32_t kOpenConnected = 0;
constexpr std::uint32_t kOpenNotRedirected = 1;
// The driver's register values (wire::kModemStatusCarrier is the server's bit).
constexpr std::uint8_t kModemStatusIdle = 0x30;     // CTS and DSR
constexpr std::uint8_t kModemStatusCarrier = 0xB0;  // CTS, DSR and DCD
constexpr std::uint8_t kLineStatusIdle = 0x60;      // transmitter empty

// Settings bytes: each mapper fills only its own bytes, the rest stay 0.
SerialSettings SettingsFromModemControl(std::uint8_t modemControl);
SerialSettings SettingsFromLineControl(std::uint8_t lineControl);
SerialSettings SettingsFromBaudRate(std::uint32_t baudRate);
SerialSettings SettingsFromHandFlow(std::uint32_t controlHandshake, std::uint32_t flowReplace,
                                    std::uint32_t forcedFlowControl);

// The driver's modem status for the server's first modem status byte.
std::uint8_t PipeModemStatusFor(std::uint8_t serverModemStatus);

// Service-to-driver builders: return the message length, or 0 if it does not
// fit capacity. The status messages are 8 bytes; the bytes after the value
// are 0.
std::size_t BuildPipeOpenResult(std::uint8_t* buf, std::size_t capacity, std::uint32_t status);
std::size_t BuildPipeModemStatus(std::uint8_t* buf, std::size_t capacity, std::uint8_t value);
std::size_t BuildPipeLineStatus(std::uint8_t* buf, std::size_t capacity, std::uint8_t value);
// 1 to 1020 data bytes; 0 for more (split with ForEachPipePiece) or none.
std::size_t BuildPipeData(std::uint8_t* buf, std::size_t capacity, const std::uint8_t* data,
                          std::size_t n);

// A message read from the driver. The payload points into the read buffer.
struct PipeMessage {
    std::uint32_t type = 0;
    const std::uint8_t* payload = nullptr;
    std::size_t payloadSize = 0;
};

// Splits one read of count bytes. False if it is shorter than the type or
// longer than a pipe message.
bool ReadPipeMessage(const std::uint8_t* p, std::size_t count, PipeMessage& out);

// The port key name of a PipeOpen: UTF-16 up to the NUL or the end of the
// payload. False (and out empty) for another type, an empty name, a name
// with a backslash (it would reach beyond the port's own key) or one that
// does not fit outChars with its NUL.
bool ReadPortKeyName(const PipeMessage& message, char16_t* out, std::size_t outChars);

struct HandFlow {
    std::uint32_t controlHandshake;
    std::uint32_t flowReplace;
    std::uint32_t xonLimit;
    std::uint32_t xoffLimit;
};

// Typed payloads; false for another type or a payload too short for it.
bool ReadModemControl(const PipeMessage& message, std::uint8_t& value);
bool ReadLineControl(const PipeMessage& message, std::uint8_t& value);
bool ReadBaudRate(const PipeMessage& message, std::uint32_t& baudRate);
bool ReadHandFlow(const PipeMessage& message, HandFlow& handFlow);

// The settings record for one of the four settings messages; nothing for any
// other type or a payload too short for its type.
std::optional<SerialSettings> SettingsFromPipeMessage(const PipeMessage& message,
                                                      std::uint32_t forcedFlowControl);

// Calls send(piece, length) for consecutive pieces of at most 1020 bytes
// until all are sent or send returns false; true if all were sent. No data
// means no call.
template <class Send>
bool ForEachPipePiece(const std::uint8_t* data, std::size_t n, Send&& send) {
    for (std::size_t at = 0; at < n;) {
        const std::size_t piece = n - at < kPipePayloadMax ? n - at : kPipePayloadMax;
        if (!send(data + at, piece)) return false;
        at += piece;
    }
    return true;
}

}  // namespace portpipe
