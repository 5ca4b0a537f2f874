#pragma once
// The Control Panel applet protocol: the module's CPlApplet export hands each
// message to the one applet object, whose virtual operations answer it.
#include <windows.h>
#include <cpl.h>

#include "Object.h"

namespace kvr {

class CControlPanelApplet : public CObject {
    KVR_DECLARE_DYNAMIC(CControlPanelApplet)
public:
    CControlPanelApplet();  // becomes the module's applet
    ~CControlPanelApplet() override;
    CControlPanelApplet(const CControlPanelApplet&) = delete;
    CControlPanelApplet& operator=(const CControlPanelApplet&) = delete;

    // The body of CPlApplet: finds the applet and dispatches.
    static LONG Dispatch(HWND controlPanel, UINT message, LPARAM param1, LPARAM param2);

    // The operations, in the order of the applet's table.
    virtual LONG OnDblclk(HWND controlPanel, UINT applet, LONG_PTR data) = 0;
    virtual LONG OnExit() { return 0; }
    virtual LONG OnGetCount() { return 1; }
    virtual LONG OnInit() { return 1; }
    virtual LONG OnNewInquire(HWND controlPanel, UINT applet, NEWCPLINFOW* info) = 0;
    virtual LONG OnSelect(UINT, LONG_PTR) { return 1; }
    virtual LONG OnStop(UINT, LONG_PTR) { return 1; }
    // Hosts may ask only this for the icon and the name.
    virtual LONG OnInquire(UINT applet, CPLINFO* info) = 0;
    // Hosts send this before CPL_DBLCLK and send the double-click only when
    // it returns 0.
    virtual LONG OnStartWithParameters(HWND, UINT, const wchar_t*) { return 0; }
    // Any message the table does not list.
    virtual LONG OnOther(UINT) { return 1; }
};

}  // namespace kvr
