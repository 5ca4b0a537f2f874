#pragma once
// The thread messages an instance's thread handles, and the blocks that
// travel with them. A block is allocated by the export and freed by the
// handler (or by the thread's end if the message is never handled).
#include <windows.h>

#include <cstddef>

#include "KvrAuth.h"

namespace kvr {

enum UiMessage : UINT {
    kMsgCreateModem = 1281,
    kMsgUpdateModemLEDs = 1282,
    kMsgDestroyModem = 1283,
    kMsgUpdateSendLED = 1284,
    kMsgUpdateReceiveLED = 1285,
    kMsgTurnOffSendReceive = 1286,
    kMsgCreateAuthWindow = 1287,
    kMsgPostNarration = 1288,
    kMsgDestroyNarrationWindow = 1289,
    kMsgDisplayMessage = 1290,
    kMsgDestroyUI = 1291,
    kMsgChangePassword = 1292,
};

constexpr std::size_t kUiTextChars = 512;
constexpr std::size_t kUiTextSlot = kUiTextChars + 1;

struct AuthRequestBlock {  // with 1287
    AuthInfo* info;
    KvrAuthCallback callback;
};
static_assert(sizeof(AuthRequestBlock) == 2 * sizeof(void*));
static_assert(sizeof(void*) != 4 || sizeof(AuthRequestBlock) == 8);

struct PasswordRequestBlock {  // with 1292
    AuthInfo* info;
    KvrAuthCallback callback;
    DWORD mode;
};
static_assert(offsetof(PasswordRequestBlock, mode) == 2 * sizeof(void*));
static_assert(sizeof(void*) != 4 || sizeof(PasswordRequestBlock) == 12);

// Each slot holds up to 512 characters and its terminator: 3 x 513 units.
struct NarrationBlock {  // with 1288
    wchar_t texts[3][kUiTextSlot];
};
static_assert(sizeof(NarrationBlock) == 3078);

struct MessageBlock {  // with 1290
    wchar_t texts[2][kUiTextSlot];
};
static_assert(sizeof(MessageBlock) == 2052);

// Frees the block that travels with message (nothing for messages without one).
void FreeUiMessageBlock(UINT message, LPARAM block);

}  // namespace kvr
