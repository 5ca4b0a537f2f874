#include "DosNames.h"

#include <windows.h>

#include <cwchar>

#include "Registry.h"
#include "RegistryNames.h"

namespace setup {

namespace {

// The first target the name points at now, "" when it is not defined.
std::wstring CurrentTarget(const std::wstring& dosName) {
    wchar_t targets[1024] = {};
    if (QueryDosDeviceW(dosName.c_str(), targets, static_cast<DWORD>(std::size(targets))) == 0) return {};
    return targets;
}

}  // namespace

std::vector<DosNameResult> RemovePortDosNames() {
    std::vector<DosNameResult> results;
    const kvr::RegKey ports = kvr::RegKey::Open(HKEY_LOCAL_MACHINE, reg::kPortsKey);
    if (!ports) return results;
    for (DWORD index = 0;; ++index) {
        const auto name = ports.SubKeyName(index);
        if (!name) break;
        const kvr::RegKey port = kvr::RegKey::Open(ports.Get(), name->c_str());
        const auto dosName = port ? port.ReadText(reg::kDosDevices) : std::nullopt;
        if (!dosName || dosName->empty()) continue;
        DosNameResult result;
        result.dosName = *dosName;
        result.target = L"\\Device\\" + *name;
        // Definitions stack; a bounded number of removals takes all of ours.
        for (int attempt = 0; attempt < 16 && _wcsicmp(CurrentTarget(result.dosName).c_str(), result.target.c_str()) == 0;
             ++attempt) {
            if (!DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                                  result.dosName.c_str(), result.target.c_str()))
                break;
            ++result.removed;
        }
        result.stillDefined = _wcsicmp(CurrentTarget(result.dosName).c_str(), result.target.c_str()) == 0;
        results.push_back(result);
    }
    return results;
}

}  // namespace setup
