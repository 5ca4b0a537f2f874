#include "PortKeys.h"

#include "Registry.h"
#include "RegistryNames.h"

namespace setup {

std::vector<PortKeyResult> WriteMissingPortKeys(decltype(&HLPSetPortRedirections) setPortRedirections) {
    std::vector<PortKeyResult> results;
    for (WORD index = 0; index < kChooserPorts; ++index) {
        PortKeyResult result;
        result.index = index;
        const std::wstring path =
            std::wstring(reg::kPortsKey) + L"\\" + reg::kPortKeyPrefix + std::to_wstring(index);
        LONG status = ERROR_SUCCESS;
        if (kvr::RegKey::Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ, &status)) {
            result.outcome = PortKeyResult::Outcome::Kept;
        } else if (status != ERROR_FILE_NOT_FOUND) {
            result.error = status;
        } else {
            const std::string dosName = "COM" + std::to_string(index + 1);
            result.error = setPortRedirections(index, dosName.c_str(), FALSE, 0, nullptr);
            if (result.error == 0) result.outcome = PortKeyResult::Outcome::Written;
        }
        results.push_back(result);
    }
    return results;
}

}  // namespace setup
