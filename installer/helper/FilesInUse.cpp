#include "FilesInUse.h"

#include <windows.h>

#include "Handles.h"
#include "ServiceControl.h"

namespace setup {

std::vector<BusyFile> FilesInUse(const std::vector<std::wstring>& paths) {
    std::vector<BusyFile> busy;
    for (const std::wstring& path : paths) {
        // The sharing the set-up's own write asks for: others may only read.
        kvr::UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) continue;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) continue;
        const char* reason = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION
                                 ? "in use by a running program"
                                 : "cannot be written";
        busy.push_back({path, std::string(reason) + ": " + SystemMessage(error)});
    }
    return busy;
}

}  // namespace setup
