#include "ControlPanel.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CControlPanelApplet, CObject)

namespace {
CControlPanelApplet* g_applet = nullptr;
constexpr UINT kStartWithParametersA = 9;
constexpr UINT kStartWithParametersW = 10;
}  // namespace

CControlPanelApplet::CControlPanelApplet() { g_applet = this; }

CControlPanelApplet::~CControlPanelApplet() {
    if (g_applet == this) g_applet = nullptr;
}

LONG CControlPanelApplet::Dispatch(HWND controlPanel, UINT message, LPARAM param1, LPARAM param2) {
    CControlPanelApplet* applet = g_applet;
    if (applet == nullptr) return message == CPL_INIT ? 0 : 1;
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
        case kStartWithParametersA:
        case kStartWithParametersW:
            return applet->OnStartWithParameters(controlPanel, index, reinterpret_cast<const wchar_t*>(param2));
        default: return applet->OnOther(message);
        }
    } catch (...) {
        // Exceptions stop here: the Control Panel cannot unwind them.
        return message == CPL_INIT ? 0 : 1;
    }
}

}  // namespace kvr

