#pragma once
// The settings file of the Windows 3.x product, QUELT.INI in the directory
// that the environment variable QUELT names.
#include <string>

namespace setup {

inline constexpr wchar_t kQueltVariable[] = L"QUELT";
inline constexpr wchar_t kOldSettingsFile[] = L"QUELT.INI";
inline constexpr wchar_t kOldSettingsSection[] = L"COMM";
// What the profile reader returns for an integer key that is missing.
inline constexpr unsigned kMissingInteger = 30583;

// The file's path from the variable's value ("" when it is unset or empty).
std::wstring OldSettingsPath(const std::wstring& queltDirectory);

// True when the file holds something the Chooser can take over: a non-empty
// user name, transport or port list, or any port's redirection or the
// narration setting present at all.
bool HasOldSettings(const std::wstring& iniPath);

}  // namespace setup
