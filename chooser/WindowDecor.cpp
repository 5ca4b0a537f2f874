#include "WindowDecor.h"

#include <windowsx.h>

#include <algorithm>

#include "ChooserApp.h"
#include "ChooserConstants.h"

namespace kvr {

UniqueBrush CreateShadowBrush() { return UniqueBrush(::CreateSolidBrush(::GetSysColor(COLOR_BTNSHADOW))); }

bool TransparentStatic(WPARAM dc, LRESULT& result) {
    ::SetBkMode(reinterpret_cast<HDC>(dc), TRANSPARENT);
    result = reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    return true;
}

void ShowControlPopupHelp(const HELPINFO& info, std::span<const int> controls) {
    if (info.iContextType != HELPINFO_WINDOW ||
        std::find(controls.begin(), controls.end(), info.iCtrlId) == controls.end())
        return;
    ChooserApp().WinHelp(static_cast<HWND>(info.hItemHandle), HELP_CONTEXTPOPUP,
                         kControlHelpBase + static_cast<DWORD>(info.iCtrlId));
}

POINT ContextMenuPoint(HWND window, LPARAM lParam) {
    if (lParam != -1) return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    POINT point{5, 5};
    ::ClientToScreen(window, &point);
    return point;
}

void TrackContextMenu(HMENU menu, POINT screen, HWND window) {
    ::TrackPopupMenu(::GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0,
                     ::GetAncestor(window, GA_ROOT), nullptr);
}

}  // namespace kvr
