// The reader of the driver's pipe messages over any bytes: a message is taken
// only when it holds a type and fits a read, its payload stays inside it,
// the port key name is cut to nothing rather than to something else, and a
// settings record only ever holds the codes the protocol defines.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzCheck.h"
#include "PipeProtocol.h"

namespace {

void CheckPortKeyName(const portpipe::PipeMessage& message, std::size_t outChars) {
    std::unique_ptr<char16_t[]> out(new char16_t[outChars == 0 ? 1 : outChars]);
    const bool read = portpipe::ReadPortKeyName(message, out.get(), outChars);
    if (!read) {
        if (outChars != 0) FUZZ_CHECK(out[0] == 0);
        return;
    }
    FUZZ_CHECK(message.type == portpipe::PipeOpen);
    std::size_t n = 0;
    while (out[n] != 0) {
        FUZZ_CHECK(n + 1 < outChars);
        FUZZ_CHECK(out[n] != u'\\');
        // The name is the payload's UTF-16 units, little-endian, unchanged.
        FUZZ_CHECK(2 * n + 1 < message.payloadSize);
        FUZZ_CHECK(out[n] == static_cast<char16_t>(message.payload[2 * n] | message.payload[2 * n + 1] << 8));
        ++n;
    }
    FUZZ_CHECK(n > 0);
}

bool In(std::uint8_t value, std::uint8_t low, std::uint8_t high) { return value == 0 || (value >= low && value <= high); }

void CheckSettings(const portpipe::PipeMessage& message, std::uint32_t forced) {
    const auto settings = portpipe::SettingsFromPipeMessage(message, forced);
    const bool settingsType = message.type == portpipe::PipeModemControl || message.type == portpipe::PipeLineControl ||
                              message.type == portpipe::PipeBaudRate || message.type == portpipe::PipeHandFlow;
    if (!settingsType) {
        FUZZ_CHECK(!settings);
        return;
    }
    if (!settings) return;  // too short for its type
    FUZZ_CHECK(settings->baudCode <= 10);
    FUZZ_CHECK(In(settings->stopBits, 1, 2));
    FUZZ_CHECK(In(settings->dataBits, 5, 8));
    FUZZ_CHECK(In(settings->parity, 1, 5));
    FUZZ_CHECK(In(settings->breakState, 1, 2));
    FUZZ_CHECK(In(settings->dtr, 1, 2));
    if (forced == reg::kNotForced) {
        FUZZ_CHECK(In(settings->flowFirst, 1, 4));
        FUZZ_CHECK(In(settings->flowSecond, 1, 4));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact copy: any read past the message is an over-read.
    std::unique_ptr<std::uint8_t[]> bytes(new std::uint8_t[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(bytes.get(), data, size);
    portpipe::PipeMessage message;
    const bool read = portpipe::ReadPipeMessage(bytes.get(), size, message);
    FUZZ_CHECK(read == (size >= portpipe::kPipeHeaderSize && size <= portpipe::kPipeMessageSize));
    if (!read) return 0;
    FUZZ_CHECK(message.payload == bytes.get() + portpipe::kPipeHeaderSize);
    FUZZ_CHECK(message.payloadSize == size - portpipe::kPipeHeaderSize);
    FUZZ_CHECK(message.type == static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                          static_cast<std::uint32_t>(data[3]) << 24));
    for (std::size_t outChars : {0u, 1u, 2u, 8u, 256u, 600u}) CheckPortKeyName(message, outChars);
    CheckSettings(message, reg::kNotForced);
    CheckSettings(message, 0x00030001);
    return 0;
}
