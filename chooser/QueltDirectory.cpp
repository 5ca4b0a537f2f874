#include "QueltDirectory.h"

#include <windows.h>

#include "ChooserRes.h"
#include "Resources.h"

namespace kvr {

std::wstring QueltDirectory() {
    const std::wstring variable = LoadResString(IDS_QUELT_VARIABLE);
    const DWORD size = ::GetEnvironmentVariableW(variable.c_str(), nullptr, 0);
    if (size <= 1) return std::wstring();
    std::wstring directory(size, L'\0');
    directory.resize(::GetEnvironmentVariableW(variable.c_str(), directory.data(), size));
    if (!directory.empty() && directory.back() == L'\\') directory.pop_back();
    return directory;
}

}  // namespace kvr
