#include "ControlPanel.h"

#include <string>

#include "Resources.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CControlPanelApplet, CObject)

namespace {
CControlPanelApplet* g_applet = nullptr;

// What the host gets when there is no applet or an operation failed: no
// initialisation and no applets to show, otherwise "not done".
LONG Failure(UINT message) { return message == CPL_INIT || message == CPL_GETCOUNT ? 0 : 1; }
}  // namespace

CControlPanelApplet::CControlPanelApplet() { g_applet = this; }

CControlPanelApplet::~CControlPanelApplet() {
    if (g_applet == this) g_applet = nullptr;
}

LONG CControlPanelApplet::Dispatch(HWND controlPanel, UINT message, LPARAM param1, LPARAM param2) {
    CControlPanelApplet* applet = g_applet;
    if (applet == nullptr) return Failure(message);
    try {
        const auto index = static_cast<UINT>(param1);
        switch (message) {
        case CPL_INIT: return applet->OnInit();
        case CPL_GETCOUNT: return applet->OnGetCount();
        case CPL_INQUIRE: return applet->OnInquire(index, reinterpret_cast<CPLINFO*>(param2));
        case CPL_SELECT: return applet->OnSelect(index, param2);
        case CPL_DBLCLK: return applet->OnDblclk(controlPanel, index, param2);
        case CPL_STOP: return applet->OnStop(index, param2);
        case CPL_EXIT: return applet->OnExit();
        case CPL_NEWINQUIRE: return applet->OnNewInquire(controlPanel, index, reinterpret_cast<NEWCPLINFOW*>(param2));
        case CPL_STARTWPARMSA: {
            // The ANSI form carries a narrow text.
            const char* narrow = reinterpret_cast<const char*>(param2);
            const std::wstring wide = narrow ? FromAnsi(narrow) : std::wstring();
            return applet->OnStartWithParameters(controlPanel, index, narrow ? wide.c_str() : nullptr);
        }
        case CPL_STARTWPARMSW:
            return applet->OnStartWithParameters(controlPanel, index, reinterpret_cast<const wchar_t*>(param2));
        default: return applet->OnOther(message);
        }
    } catch (...) {
        // Exceptions stop here: the Control Panel cannot unwind them.
        return Failure(message);
    }
}

}  // namespace kvr

