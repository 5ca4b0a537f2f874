#include "WindowPosition.h"

#include <cwchar>

#include "Registry.h"
#include "RegistryNames.h"
#include "Resources.h"

namespace kvr {

namespace {
constexpr DWORD kPositionBytes = 126;

// Fits one axis: [low, high) against the work area's [workLow, workHigh).
void FitAxis(LONG& low, LONG& high, LONG workLow, LONG workHigh) {
    if (high <= workHigh) return;
    const LONG size = high - low;
    if (size < workHigh - workLow)
        low -= high - workHigh;
    else
        low = workLow;
    high = workHigh;
}
}  // namespace

bool SaveWindowPosition(HWND window, const wchar_t* valueName) {
    if (::IsIconic(window) || ::IsZoomed(window)) return true;
    RECT r;
    if (!::GetWindowRect(window, &r)) return false;
    const RegKey key = RegKey::Create(HKEY_CURRENT_USER, reg::kChooserUserKey);
    return key && key.WriteText(valueName, FormatText(L"%d:%d:%d:%d", {r.top, r.left, r.bottom, r.right}));
}

RECT FitIntoWorkArea(RECT r, const RECT& work) {
    FitAxis(r.left, r.right, work.left, work.right);
    FitAxis(r.top, r.bottom, work.top, work.bottom);
    return r;
}

bool RestoreWindowPosition(HWND window, const wchar_t* valueName, bool keepStoredSize) {
    const RegKey key = RegKey::Create(HKEY_CURRENT_USER, reg::kChooserUserKey);
    if (!key) return false;
    wchar_t text[kPositionBytes / sizeof(wchar_t) + 1] = {};
    const RegValueInfo info = key.Query(valueName, text, kPositionBytes);
    if (info.status != ERROR_SUCCESS || info.type != REG_SZ) return false;
    RECT r{};
    if (std::swscanf(text, L"%ld:%ld:%ld:%ld", &r.top, &r.left, &r.bottom, &r.right) != 4) return false;
    if (!keepStoredSize) {
        RECT current;
        ::GetWindowRect(window, &current);
        r.right = r.left + (current.right - current.left);
        r.bottom = r.top + (current.bottom - current.top);
    }
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    r = FitIntoWorkArea(r, work);
    ::MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    return true;
}

}  // namespace kvr
