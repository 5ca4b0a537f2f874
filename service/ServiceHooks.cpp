#include "ServiceHooks.h"

#include "Handles.h"
#include "RegistryNames.h"

namespace svc {

void OnStartLoadRoutes() {}

HANDLE OnStartPasswordCache() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"PasswordMutex");
    kvr::UniqueHKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, reg::kRezorivKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                        nullptr) == ERROR_SUCCESS) {
        const DWORD zero = 0;
        RegSetValueExW(key.Get(), reg::kUsernameModTick, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero),
                       sizeof(zero));
    }
    return mutex;
}

}  // namespace svc
