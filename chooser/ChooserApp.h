#pragma once
// The applet module: its application object (sockets and the help file,
// set up once) and the applet object the Control Panel talks to, which runs
// the Chooser on a double-click.
#include <windows.h>

#include <memory>

#include "Application.h"
#include "ControlPanel.h"

namespace kvr {

class CBrowseDialog;
class CRegistryInfo;

class CChooserApplet : public CControlPanelApplet {
public:
    LONG OnDblclk(HWND controlPanel, UINT applet, LONG_PTR data) override;
    LONG OnExit() override;
    LONG OnInit() override;
    LONG OnNewInquire(HWND controlPanel, UINT applet, NEWCPLINFOW* info) override;
    LONG OnInquire(UINT applet, CPLINFO* info) override;

    // The model while the sheet runs, else null.
    CRegistryInfo* Model() const { return m_model.get(); }
    bool ColorDisplay() const { return m_colorDisplay; }
    // The one browse dialog while it exists.
    CBrowseDialog* BrowseDialog() const { return m_browseDialog; }
    void SetBrowseDialog(CBrowseDialog* dialog) { m_browseDialog = dialog; }
    // Destroys the browse dialog's window if it is open.
    void CloseBrowseDialog();

    ~CChooserApplet() override;

private:
    void RunChooser(HWND controlPanel);

    std::unique_ptr<CRegistryInfo> m_model;
    bool m_colorDisplay = false;
    CBrowseDialog* m_browseDialog = nullptr;
};

class CChooserApp : public CWinApp {
public:
    CChooserApplet m_applet;
    // Stops what InitInstance started.
    void Shutdown();

protected:
    bool InitInstance() override;

private:
    bool m_socketsStarted = false;
};

// The module's application and applet.
CChooserApp& ChooserApp();
inline CChooserApplet& ChooserApplet() { return ChooserApp().m_applet; }

}  // namespace kvr
