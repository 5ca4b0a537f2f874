#pragma once
// The user-interface library as the service sees it: the calls a session
// makes, gathered so tests can put a fake library in place of the real one.
#include <windows.h>

#include "AuthInfo.h"
#include "KvrAuth.h"

namespace svc {

using UiHandle = KvrUiHandle;
using UiCallback = KvrAuthCallback;

struct UiApi {
    UiHandle(WINAPI* createUI)();
    DWORD(WINAPI* destroyUI)(UiHandle);
    DWORD(WINAPI* createAuthWindow)(UiHandle, AuthInfo*, UiCallback);
    DWORD(WINAPI* changePassword)(UiHandle, AuthInfo*, UiCallback, DWORD mode);
    DWORD(WINAPI* postNarration)(UiHandle, DWORD number, LPCWSTR, LPCWSTR, LPCWSTR);
    DWORD(WINAPI* destroyNarrationWindow)(UiHandle);
    DWORD(WINAPI* createModem)(UiHandle, const AuthInfo*);
    DWORD(WINAPI* updateSendLED)(UiHandle, DWORD);
    DWORD(WINAPI* updateReceiveLED)(UiHandle, DWORD);
    DWORD(WINAPI* updateModemLEDs)(UiHandle, DWORD);
};

// The user-interface library linked into the service.
const UiApi& KvrAuthUi();

}  // namespace svc
