#pragma once
// KVRAUTH.DLL: the windows a dial-out session shows. Each session creates one
// instance with CreateUI; every other call posts work to that instance's own
// thread and returns at once. Results typed by the user come back through a
// callback on the instance's thread.
#include <windows.h>

#include "AuthInfo.h"
#include "UiCallValues.h"

// Opaque: only ever compared against the live instances, never dereferenced
// by the library until it is known to be one.
typedef struct KvrUiInstance* KvrUiHandle;

// result is kUiConfirmed or kUiCancelled; info is the record passed in.
typedef void(WINAPI* KvrAuthCallback)(DWORD result, AuthInfo* info);

// Every call but CreateUI returns 0 when the work was posted, kUiInvalidHandle
// (0x20000001) when ui is not a live instance (including one already passed
// to DestroyUI), ERROR_INVALID_PARAMETER for a missing record, callback or an
// unknown mode, or the system's error code when posting failed.
extern "C" {
KvrUiHandle WINAPI CreateUI(void);  // null on failure
// After DestroyUI returns, the instance never touches any AuthInfo or calls
// any callback again, so the caller may release them.
DWORD WINAPI DestroyUI(KvrUiHandle ui);
DWORD WINAPI CreateAuthWindow(KvrUiHandle ui, AuthInfo* info, KvrAuthCallback callback);
DWORD WINAPI ChangePassword(KvrUiHandle ui, AuthInfo* info, KvrAuthCallback callback, DWORD mode);
DWORD WINAPI CreateModem(KvrUiHandle ui, const AuthInfo* info);  // info is copied
DWORD WINAPI DestroyModem(KvrUiHandle ui);
DWORD WINAPI UpdateModemLEDs(KvrUiHandle ui, DWORD flags);
DWORD WINAPI UpdateSendLED(KvrUiHandle ui, DWORD on);
DWORD WINAPI UpdateReceiveLED(KvrUiHandle ui, DWORD on);
DWORD WINAPI TurnOffSendReceive(KvrUiHandle ui);
// Texts are copied (at most 512 characters each); null texts are allowed.
DWORD WINAPI PostNarration(KvrUiHandle ui, DWORD stringNumber, LPCWSTR text1, LPCWSTR text2,
                           LPCWSTR text3);
DWORD WINAPI DestroyNarrationWindow(KvrUiHandle ui);
DWORD WINAPI DisplayMessage(KvrUiHandle ui, LPCWSTR caption, LPCWSTR text);
}
