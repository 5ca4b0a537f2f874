#pragma once
// Port settings carried to the server; every byte left 0 means "no change".
#include <cstddef>
#include <cstdint>

struct SerialSettings {
    std::uint8_t baudCode;
    std::uint8_t stopBits;
    std::uint8_t dataBits;
    std::uint8_t parity;
    std::uint8_t flowFirst;
    std::uint8_t flowSecond;
    std::uint8_t breakState;
    std::uint8_t dtr;
};

static_assert(sizeof(SerialSettings) == 8);
static_assert(offsetof(SerialSettings, baudCode) == 0);
static_assert(offsetof(SerialSettings, stopBits) == 1);
static_assert(offsetof(SerialSettings, dataBits) == 2);
static_assert(offsetof(SerialSettings, parity) == 3);
static_assert(offsetof(SerialSettings, flowFirst) == 4);
static_assert(offsetof(SerialSettings, flowSecond) == 5);
static_assert(offsetof(SerialSettings, breakState) == 6);
static_assert(offsetof(SerialSettings, dtr) == 7);
