#pragma once
// The record a service session lends to the user-interface library. Its byte
// layout is an interface between KVRSVC and KVRAUTH.
#include <cstddef>
#include <cstdint>

static_assert(sizeof(wchar_t) == 2, "AuthInfo holds UTF-16 text");

constexpr std::size_t kUserNameChars = 48;
constexpr std::size_t kPasswordChars = 17;
constexpr std::size_t kDisplayNameChars = 48;

struct AuthInfo {
    std::uint8_t reserved0[8];
    wchar_t userName[kUserNameChars];
    wchar_t password[kPasswordChars];
    wchar_t serverName[kDisplayNameChars];
    std::uint8_t reserved1[16];
    wchar_t dosName[kDisplayNameChars];
    std::uint8_t reserved2[384];
    wchar_t newPassword[kPasswordChars];
};

static_assert(sizeof(AuthInfo) == 764);
static_assert(offsetof(AuthInfo, userName) == 8);
static_assert(offsetof(AuthInfo, password) == 104);
static_assert(offsetof(AuthInfo, serverName) == 138);
static_assert(offsetof(AuthInfo, reserved1) == 234);
static_assert(offsetof(AuthInfo, dosName) == 250);
static_assert(offsetof(AuthInfo, reserved2) == 346);
static_assert(offsetof(AuthInfo, newPassword) == 730);

// Callback results and the invalid-handle result of the library's exports.
constexpr std::uint32_t kUiConfirmed = 0;
constexpr std::uint32_t kUiInvalidHandle = 0x20000001;
constexpr std::uint32_t kUiCancelled = 0x20000002;
