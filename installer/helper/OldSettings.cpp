#include "OldSettings.h"

#include <windows.h>

namespace setup {

std::wstring OldSettingsPath(const std::wstring& queltDirectory) {
    if (queltDirectory.empty()) return {};
    std::wstring path = queltDirectory;
    if (path.back() != L'\\') path += L'\\';
    return path + kOldSettingsFile;
}

bool HasOldSettings(const std::wstring& iniPath) {
    const wchar_t* texts[] = {L"Username", L"Transport", L"COM1List", L"COM2List", L"COM3List", L"COM4List"};
    for (const wchar_t* key : texts) {
        wchar_t value[256] = {};
        GetPrivateProfileStringW(kOldSettingsSection, key, L"", value, static_cast<DWORD>(std::size(value)),
                                 iniPath.c_str());
        if (value[0] != L'\0') return true;
    }
    const wchar_t* integers[] = {L"COM1Redir", L"COM2Redir", L"COM3Redir", L"COM4Redir", L"Narrate"};
    for (const wchar_t* key : integers)
        if (GetPrivateProfileIntW(kOldSettingsSection, key, kMissingInteger, iniPath.c_str()) != kMissingInteger)
            return true;
    return false;
}

}  // namespace setup
