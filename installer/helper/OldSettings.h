#pragma once
// The settings file of the Windows 3.x product, QUELT.INI in the directory
// that the environment variable QUELT names, judged by the Chooser's own rule
// (kvr::HasOldSettings), so the set-up marks an upgrade exactly when the
// Chooser will find something to offer.
#include <string>

namespace setup {

// The Chooser's strings 57422 and 57421.
inline constexpr wchar_t kQueltVariable[] = L"QUELT";
inline constexpr wchar_t kOldSettingsFile[] = L"QUELT.INI";

// The file's path from the variable's value ("" when it is unset or empty).
std::wstring OldSettingsPath(const std::wstring& queltDirectory);

// True when the file can be read and holds settings the Chooser can take over.
bool HasOldSettings(const std::wstring& iniPath);

}  // namespace setup
