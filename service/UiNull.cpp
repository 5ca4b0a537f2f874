#include "UiApi.h"

namespace svc {
namespace {
UiHandle WINAPI NoCreate() { return nullptr; }
DWORD WINAPI NoOp1(UiHandle) { return 0; }
DWORD WINAPI NoAuth(UiHandle, AuthInfo*, UiCallback) { return 0; }
DWORD WINAPI NoChange(UiHandle, AuthInfo*, UiCallback, DWORD) { return 0; }
DWORD WINAPI NoNarration(UiHandle, DWORD, const wchar_t*, const wchar_t*, const wchar_t*) { return 0; }
DWORD WINAPI NoModem(UiHandle, AuthInfo*) { return 0; }
DWORD WINAPI NoLed(UiHandle, DWORD) { return 0; }
}  // namespace

const UiApi& KvrAuthUi() {
    static const UiApi api{NoCreate, NoOp1, NoAuth, NoChange, NoNarration, NoOp1, NoModem, NoLed, NoLed, NoLed};
    return api;
}

}  // namespace svc
