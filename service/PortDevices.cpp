#include "PortDevices.h"

#include <windows.h>

#include <string>

#include "Handles.h"
#include "Progress.h"
#include "RegistryNames.h"

namespace svc {

void DefinePortDevices(PortDeviceMode mode) {
    kvr::UniqueHKey ports;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, reg::kPortsKey, 0, KEY_READ, ports.Put()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t keyName[256];
        DWORD nameLength = static_cast<DWORD>(std::size(keyName));
        if (RegEnumKeyExW(ports.Get(), index, keyName, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS)
            return;
        kvr::UniqueHKey port;
        if (RegOpenKeyExW(ports.Get(), keyName, 0, KEY_READ, port.Put()) != ERROR_SUCCESS) return;

        wchar_t dosName[129] = {};
        DWORD type = 0;
        DWORD size = sizeof(dosName) - sizeof(wchar_t);
        if (RegQueryValueExW(port.Get(), reg::kDosDevices, nullptr, &type,
                             reinterpret_cast<BYTE*>(dosName), &size) != ERROR_SUCCESS ||
            type != REG_SZ || dosName[0] == 0) {
            Progress(L"Port key %ls has no DosDevices; later ports keep their names.", keyName);
            return;
        }
        DWORD redirected = 0;
        size = sizeof(redirected);
        if (RegQueryValueExW(port.Get(), reg::kIsRedirected, nullptr, &type,
                             reinterpret_cast<BYTE*>(&redirected), &size) != ERROR_SUCCESS ||
            type != REG_DWORD) {
            Progress(L"Port key %ls has no IsRedirected; later ports keep their names.", keyName);
            return;
        }

        const std::wstring target = std::wstring(L"\\Device\\") + keyName;
        if (mode == PortDeviceMode::Define && redirected != 0) {
            DefineDosDeviceW(DDD_RAW_TARGET_PATH, dosName, target.c_str());
            Progress(L"Defined %ls as %ls.", dosName, target.c_str());
        } else {
            DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                             dosName, target.c_str());
        }
    }
}

}  // namespace svc
