#pragma once
// The user-interface library as the service sees it: the calls a session
// makes, gathered so tests can put a fake library in place of the real one.
#include <windows.h>

#include "AuthInfo.h"

namespace svc {

using UiHandle = void*;
using UiCallback = void(WINAPI*)(DWORD result, AuthInfo* info);

struct UiApi {
    UiHandle(WINAPI* createUI)();
    DWORD(WINAPI* destroyUI)(UiHandle);
    DWORD(WINAPI* createAuthWindow)(UiHandle, AuthInfo*, UiCallback);
    DWORD(WINAPI* changePassword)(UiHandle, AuthInfo*, UiCallback, DWORD mode);
    DWORD(WINAPI* postNarration)(UiHandle, DWORD number, const wchar_t*, const wchar_t*, const wchar_t*);
    DWORD(WINAPI* destroyNarrationWindow)(UiHandle);
    DWORD(WINAPI* createModem)(UiHandle, AuthInfo*);
    DWORD(WINAPI* updateSendLED)(UiHandle, DWORD);
    DWORD(WINAPI* updateReceiveLED)(UiHandle, DWORD);
    DWORD(WINAPI* updateModemLEDs)(UiHandle, DWORD);
};

// The user-interface library linked into the service.
const UiApi& KvrAuthUi();

}  // namespace svc
