#include "PortDevices.h"

#include <windows.h>

#include <string>

#include "Progress.h"
#include "Registry.h"
#include "RegistryNames.h"

namespace svc {

void DefinePortDevices(PortDeviceMode mode, HKEY root) {
    const kvr::RegKey ports = kvr::RegKey::Open(root, reg::kPortsKey);
    if (!ports) return;
    for (DWORD index = 0;; ++index) {
        const std::optional<std::wstring> keyName = ports.SubKeyName(index);
        if (!keyName) return;
        const kvr::RegKey port = kvr::RegKey::Open(ports.Get(), keyName->c_str());
        if (!port) return;

        wchar_t dosName[129] = {};
        if (!port.ReadText(reg::kDosDevices, dosName, std::size(dosName))) {
            Progress(L"Port key %ls has no DosDevices; later ports keep their names.", keyName->c_str());
            return;
        }
        // An empty name names no device; the ports after it still get theirs.
        if (dosName[0] == 0) continue;
        const std::optional<DWORD> redirected = port.ReadDword(reg::kIsRedirected);
        if (!redirected) {
            Progress(L"Port key %ls has no IsRedirected; later ports keep their names.", keyName->c_str());
            return;
        }

        const std::wstring target = L"\\Device\\" + *keyName;
        if (mode == PortDeviceMode::Define && *redirected != 0) {
            DefineDosDeviceW(DDD_RAW_TARGET_PATH, dosName, target.c_str());
            Progress(L"Defined %ls as %ls.", dosName, target.c_str());
        } else {
            DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, dosName,
                             target.c_str());
        }
    }
}

}  // namespace svc
