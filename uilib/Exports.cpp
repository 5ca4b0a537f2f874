// The library's flat interface: check the handle, copy what the caller lends
// only for the call, post one message, return.
#include <cwchar>
#include <memory>
#include <new>

#include "InstanceRegistry.h"
#include "KvrAuth.h"
#include "SessionUiThread.h"
#include "UiMessages.h"

using namespace kvr;

namespace {

// Copies at most kUiTextChars characters; a null text leaves the slot empty.
void CopyText(wchar_t (&slot)[kUiTextSlot], LPCWSTR text) {
    std::size_t n = 0;
    if (text != nullptr)
        while (n < kUiTextChars && text[n] != L'\0') ++n;
    std::wmemcpy(slot, text != nullptr ? text : L"", n);
    slot[n] = L'\0';
}

// Posts a message with its block; the block goes to the handler only if the
// post succeeded, otherwise it is freed here.
template <typename Block>
DWORD PostWithBlock(KvrUiHandle ui, UINT message, WPARAM wParam, std::unique_ptr<Block> block) {
    const DWORD result =
        InstanceRegistry::Instance().Post(ui, message, wParam, reinterpret_cast<LPARAM>(block.get()));
    if (result == 0) block.release();
    return result;
}

DWORD Post(KvrUiHandle ui, UINT message, WPARAM wParam = 0) {
    return InstanceRegistry::Instance().Post(ui, message, wParam, 0);
}

WPARAM Low16(DWORD value) { return static_cast<WPARAM>(value & 0xFFFF); }

bool IsLive(KvrUiHandle ui) { return InstanceRegistry::Instance().IsLive(ui); }

}  // namespace

extern "C" {

KvrUiHandle WINAPI CreateUI(void) {
    return CUIThread::Start();
}

DWORD WINAPI DestroyUI(KvrUiHandle ui) { return InstanceRegistry::Instance().PostFinal(ui, kMsgDestroyUI); }

DWORD WINAPI CreateAuthWindow(KvrUiHandle ui, AuthInfo* info, KvrAuthCallback callback) {
    if (!IsLive(ui)) return kUiInvalidHandle;
    if (info == nullptr || callback == nullptr) return ERROR_INVALID_PARAMETER;
    std::unique_ptr<AuthRequestBlock> block(new (std::nothrow) AuthRequestBlock{info, callback});
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    return PostWithBlock(ui, kMsgCreateAuthWindow, 0, std::move(block));
}

DWORD WINAPI ChangePassword(KvrUiHandle ui, AuthInfo* info, KvrAuthCallback callback, DWORD mode) {
    if (!IsLive(ui)) return kUiInvalidHandle;
    if (info == nullptr || callback == nullptr ||
        (mode != kPasswordExpired && mode != kPasswordChangeRefused))
        return ERROR_INVALID_PARAMETER;
    std::unique_ptr<PasswordRequestBlock> block(new (std::nothrow) PasswordRequestBlock{info, callback, mode});
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    return PostWithBlock(ui, kMsgChangePassword, 0, std::move(block));
}

DWORD WINAPI CreateModem(KvrUiHandle ui, const AuthInfo* info) {
    if (!IsLive(ui)) return kUiInvalidHandle;
    if (info == nullptr) return ERROR_INVALID_PARAMETER;
    std::unique_ptr<AuthInfo> copy(new (std::nothrow) AuthInfo(*info));
    if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
    return PostWithBlock(ui, kMsgCreateModem, 0, std::move(copy));
}

DWORD WINAPI DestroyModem(KvrUiHandle ui) { return Post(ui, kMsgDestroyModem); }

DWORD WINAPI UpdateModemLEDs(KvrUiHandle ui, DWORD flags) { return Post(ui, kMsgUpdateModemLEDs, Low16(flags)); }

DWORD WINAPI UpdateSendLED(KvrUiHandle ui, DWORD on) { return Post(ui, kMsgUpdateSendLED, Low16(on)); }

DWORD WINAPI UpdateReceiveLED(KvrUiHandle ui, DWORD on) { return Post(ui, kMsgUpdateReceiveLED, Low16(on)); }

DWORD WINAPI TurnOffSendReceive(KvrUiHandle ui) { return Post(ui, kMsgTurnOffSendReceive); }

DWORD WINAPI PostNarration(KvrUiHandle ui, DWORD stringNumber, LPCWSTR text1, LPCWSTR text2, LPCWSTR text3) {
    if (!IsLive(ui)) return kUiInvalidHandle;
    std::unique_ptr<NarrationBlock> block(new (std::nothrow) NarrationBlock{});
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    CopyText(block->texts[0], text1);
    CopyText(block->texts[1], text2);
    CopyText(block->texts[2], text3);
    return PostWithBlock(ui, kMsgPostNarration, Low16(stringNumber), std::move(block));
}

DWORD WINAPI DestroyNarrationWindow(KvrUiHandle ui) { return Post(ui, kMsgDestroyNarrationWindow); }

DWORD WINAPI DisplayMessage(KvrUiHandle ui, LPCWSTR caption, LPCWSTR text) {
    if (!IsLive(ui)) return kUiInvalidHandle;
    std::unique_ptr<MessageBlock> block(new (std::nothrow) MessageBlock{});
    if (!block) return ERROR_NOT_ENOUGH_MEMORY;
    CopyText(block->texts[0], caption);
    CopyText(block->texts[1], text);
    return PostWithBlock(ui, kMsgDisplayMessage, 0, std::move(block));
}

}  // extern "C"
