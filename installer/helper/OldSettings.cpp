#include "OldSettings.h"

#include <windows.h>

#include "Handles.h"
#include "OldProfile.h"

namespace setup {

std::wstring OldSettingsPath(const std::wstring& queltDirectory) {
    if (queltDirectory.empty()) return {};
    std::wstring path = queltDirectory;
    if (path.back() != L'\\') path += L'\\';
    return path + kOldSettingsFile;
}

bool HasOldSettings(const std::wstring& iniPath) {
    const kvr::UniqueFile file(CreateFileW(iniPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string bytes(kvr::kMaxProfileBytes, '\0');
    DWORD got = 0;
    if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return false;
    bytes.resize(got);
    return kvr::HasOldSettings(kvr::ProfileSection::Parse(bytes, kvr::kOldSettingsSection));
}

}  // namespace setup
