#include "PipeProtocol.h"

#include <cstring>

#include "WireTypes.h"

namespace portpipe {
namespace {

void PutLittle32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

std::uint32_t Little32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::size_t BuildStatus(std::uint8_t* buf, std::size_t capacity, std::uint32_t type,
                        std::uint32_t value) {
    if (buf == nullptr || capacity < kPipeStatusMessageSize) return 0;
    PutLittle32(buf, type);
    PutLittle32(buf + kPipeHeaderSize, value);
    return kPipeStatusMessageSize;
}

// Two independent conditions give the codes 1 (neither) to 4 (both).
std::uint8_t FlowCode(bool first, bool second) {
    if (first && second) return 4;
    if (first) return 3;
    if (second) return 2;
    return 1;
}

bool HasPayload(const PipeMessage& message, std::uint32_t type, std::size_t size) {
    return message.type == type && message.payload != nullptr && message.payloadSize >= size;
}

}  // namespace

SerialSettings SettingsFromModemControl(std::uint8_t modemControl) {
    SerialSettings s{};
    s.dtr = (modemControl & 0x01) != 0 ? 1 : 2;
    return s;
}

SerialSettings SettingsFromLineControl(std::uint8_t lineControl) {
    SerialSettings s{};
    s.dataBits = static_cast<std::uint8_t>(5 + (lineControl & 0x03));
    s.stopBits = (lineControl & 0x04) != 0 ? 2 : 1;
    switch (lineControl & 0x38) {
        case 0x00: s.parity = 1; break;  // none
        case 0x08: s.parity = 2; break;  // odd
        case 0x18: s.parity = 3; break;  // even
        case 0x28: s.parity = 4; break;  // mark
        case 0x38: s.parity = 5; break;  // space
        default: break;  // a parity selected but not enabled: no change
    }
    s.breakState = (lineControl & 0x40) != 0 ? 1 : 2;
    return s;
}

SerialSettings SettingsFromBaudRate(std::uint32_t baudRate) {
    SerialSettings s{};
    switch (baudRate) {
        case 300: s.baudCode = 1; break;
        case 600: s.baudCode = 2; break;
        case 1200: s.baudCode = 3; break;
        case 2400: s.baudCode = 4; break;
        case 4800: s.baudCode = 5; break;
        case 9600: s.baudCode = 6; break;
        case 19200: s.baudCode = 7; break;
        case 38400: s.baudCode = 8; break;
        case 56000:
        case 57600: s.baudCode = 9; break;
        case 115200: s.baudCode = 10; break;
        default: break;  // no code for it: the record still goes out, all 0
    }
    return s;
}

SerialSettings SettingsFromHandFlow(std::uint32_t controlHandshake, std::uint32_t flowReplace,
                                    std::uint32_t forcedFlowControl) {
    SerialSettings s{};
    if (forcedFlowControl != reg::kNotForced) {
        s.flowFirst = static_cast<std::uint8_t>(forcedFlowControl >> 16);
        s.flowSecond = static_cast<std::uint8_t>(forcedFlowControl);
        return s;
    }
    s.flowFirst = FlowCode((controlHandshake & 0x08) != 0, (flowReplace & 0x02) != 0);
    s.flowSecond = FlowCode((flowReplace & 0x80) != 0, (flowReplace & 0x01) != 0);
    return s;
}

std::uint8_t PipeModemStatusFor(std::uint8_t serverModemStatus) {
    return (serverModemStatus & wire::kModemStatusCarrier) != 0 ? kModemStatusCarrier : kModemStatusIdle;
}

std::size_t BuildPipeOpenResult(std::uint8_t* buf, std::size_t capacity, std::uint32_t status) {
    return BuildStatus(buf, capacity, PipeOpenResult, status);
}

std::size_t BuildPipeModemStatus(std::uint8_t* buf, std::size_t capacity, std::uint8_t value) {
    return BuildStatus(buf, capacity, PipeModemStatus, value);
}

std::size_t BuildPipeLineStatus(std::uint8_t* buf, std::size_t capacity, std::uint8_t value) {
    return BuildStatus(buf, capacity, PipeLineStatus, value);
}

std::size_t BuildPipeData(std::uint8_t* buf, std::size_t capacity, const std::uint8_t* data,
                          std::size_t n) {
    if (buf == nullptr || data == nullptr || n == 0 || n > kPipePayloadMax) return 0;
    if (capacity < kPipeHeaderSize + n) return 0;
    PutLittle32(buf, PipeData);
    std::memcpy(buf + kPipeHeaderSize, data, n);
    return kPipeHeaderSize + n;
}

bool ReadPipeMessage(const std::uint8_t* p, std::size_t count, PipeMessage& out) {
    if (p == nullptr || count < kPipeHeaderSize || count > kPipeMessageSize) return false;
    out.type = Little32(p);
    out.payload = p + kPipeHeaderSize;
    out.payloadSize = count - kPipeHeaderSize;
    return true;
}

bool ReadPortKeyName(const PipeMessage& message, char16_t* out, std::size_t outChars) {
    if (out == nullptr || outChars == 0) return false;
    out[0] = 0;
    if (!HasPayload(message, PipeOpen, 2)) return false;
    // An odd last byte is not a whole character and is ignored.
    const std::size_t units = message.payloadSize / 2;
    std::size_t n = 0;
    for (; n < units; ++n) {
        const auto c = static_cast<char16_t>(message.payload[2 * n] | message.payload[2 * n + 1] << 8);
        if (c == 0) break;
        if (c == u'\\' || n + 1 >= outChars) {
            out[0] = 0;
            return false;
        }
        out[n] = c;
    }
    out[n] = 0;
    return n != 0;
}

bool ReadModemControl(const PipeMessage& message, std::uint8_t& value) {
    if (!HasPayload(message, PipeModemControl, 1)) return false;
    value = message.payload[0];
    return true;
}

bool ReadLineControl(const PipeMessage& message, std::uint8_t& value) {
    if (!HasPayload(message, PipeLineControl, 1)) return false;
    value = message.payload[0];
    return true;
}

bool ReadBaudRate(const PipeMessage& message, std::uint32_t& baudRate) {
    if (!HasPayload(message, PipeBaudRate, 4)) return false;
    baudRate = Little32(message.payload);
    return true;
}

bool ReadHandFlow(const PipeMessage& message, HandFlow& handFlow) {
    if (!HasPayload(message, PipeHandFlow, kHandFlowPayloadSize)) return false;
    handFlow.controlHandshake = Little32(message.payload);
    handFlow.flowReplace = Little32(message.payload + 4);
    handFlow.xonLimit = Little32(message.payload + 8);
    handFlow.xoffLimit = Little32(message.payload + 12);
    return true;
}

std::optional<SerialSettings> SettingsFromPipeMessage(const PipeMessage& message,
                                                      std::uint32_t forcedFlowControl) {
    std::uint8_t byteValue = 0;
    std::uint32_t baudRate = 0;
    HandFlow handFlow{};
    switch (message.type) {
        case PipeModemControl:
            if (ReadModemControl(message, byteValue)) return SettingsFromModemControl(byteValue);
            break;
        case PipeLineControl:
            if (ReadLineControl(message, byteValue)) return SettingsFromLineControl(byteValue);
            break;
        case PipeBaudRate:
            if (ReadBaudRate(message, baudRate)) return SettingsFromBaudRate(baudRate);
            break;
        case PipeHandFlow:
            if (ReadHandFlow(message, handFlow)) {
                return SettingsFromHandFlow(handFlow.controlHandshake, handFlow.flowReplace,
                                            forcedFlowControl);
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

}  // namespace portpipe
