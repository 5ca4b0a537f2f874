#include "ChooserApp.h"

#include <winsock2.h>

#include <cstring>

#include "BrowseDialog.h"
#include "ChooserRes.h"
#include "ChooserSheet.h"
#include "Controls.h"
#include "DeviceList.h"
#include "NetworkCheck.h"
#include "RegistryInfo.h"
#include "Resources.h"
#include "Upgrade.h"

namespace kvr {

namespace {

// Copies a text into a fixed field of NEWCPLINFO, or leaves it empty when it
// does not fit: a cut path would name another file.
template <std::size_t N>
void CopyWhole(wchar_t (&field)[N], const std::wstring& text) {
    field[0] = L'\0';
    if (text.size() < N) std::memcpy(field, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

bool IsColorDisplay(HWND window) {
    const HDC dc = ::GetDC(window);
    const int bits = dc ? ::GetDeviceCaps(dc, BITSPIXEL) * ::GetDeviceCaps(dc, PLANES) : 0;
    if (dc) ::ReleaseDC(window, dc);
    return bits > 7 && ::GetSystemMetrics(SM_SLOWMACHINE) == 0;
}

}  // namespace

CChooserApp& ChooserApp() {
    static CChooserApp app;
    return app;
}

bool CChooserApp::InitInstance() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        ShowMessageBox(nullptr, LoadResString(IDS_NO_SOCKETS), LoadResString(IDS_CHOOSER_CAPTION), MB_OK | MB_ICONERROR);
        return false;
    }
    m_socketsStarted = true;
    m_helpFilePath = WindowsDirectoryPath(LoadResString(IDS_HELP_FILE));
    if (m_helpFilePath.empty()) {
        ShowMessageBox(nullptr, LoadResString(IDS_NO_WINDOWS_DIRECTORY), LoadResString(IDS_FATAL_INIT_CAPTION),
                       MB_OK | MB_ICONERROR);
        Shutdown();
        return false;
    }
    InitCommonControls();
    return true;
}

void CChooserApp::Shutdown() {
    if (m_socketsStarted) ::WSACleanup();
    m_socketsStarted = false;
}

CChooserApplet::~CChooserApplet() { CloseBrowseDialog(); }

void CChooserApplet::CloseBrowseDialog() {
    if (m_browseDialog != nullptr && m_browseDialog->GetSafeHwnd() != nullptr) m_browseDialog->DestroyWindow();
}

LONG CChooserApplet::OnInit() { return ChooserApp().EnsureInitialized() ? 1 : 0; }

LONG CChooserApplet::OnExit() {
    ChooserApp().Shutdown();
    return 0;
}

LONG CChooserApplet::OnInquire(UINT, CPLINFO* info) {
    if (info == nullptr) return 1;
    info->idIcon = IDI_CHOOSER;
    info->idName = IDS_APPLET_NAME;
    info->idInfo = IDS_APPLET_INFO;
    info->lData = 0;
    return 0;
}

LONG CChooserApplet::OnNewInquire(HWND, UINT, NEWCPLINFOW* info) {
    if (info == nullptr) return 1;
    // Filled by our own size: the host's claim about its buffer is not trusted.
    std::memset(info, 0, sizeof *info);
    info->dwSize = sizeof *info;
    info->hIcon = ::LoadIconW(ResourceModule(), MAKEINTRESOURCEW(IDI_CHOOSER));
    CopyWhole(info->szName, LoadResString(IDS_APPLET_NAME));
    CopyWhole(info->szInfo, LoadResString(IDS_APPLET_INFO));
    CopyWhole(info->szHelpFile, ChooserApp().HelpFilePath());
    return 0;
}

LONG CChooserApplet::OnDblclk(HWND controlPanel, UINT, LONG_PTR) {
    RunChooser(controlPanel);
    return 0;
}

void CChooserApplet::RunChooser(HWND controlPanel) {
    const SocketsGuard sockets;
    if (!sockets.Started() || (!IsTransportAvailable(kFamilyIp) && !IsTransportAvailable(kFamilyIpx))) {
        ShowMessageBox(controlPanel, LoadResString(IDS_NO_NETWORK), LoadResString(IDS_ENVIRONMENT_ERROR),
                       MB_OK | MB_ICONERROR);
        return;
    }
    m_model = std::make_unique<CRegistryInfo>();
    {
        CChooserPropertySheet sheet(*m_model, controlPanel);
        m_model->Load();
        m_colorDisplay = IsColorDisplay(controlPanel);
        if (!CUpgrade(*m_model).Run()) {
            sheet.DoModal(controlPanel);
        }
        ChooserApp().SetMainWindow(nullptr);
        // The browse dialog goes before the devices it shows.
        CloseBrowseDialog();
        DeviceList().Empty();
    }
    m_model.reset();
}

}  // namespace kvr

// The Control Panel's entry point.
extern "C" LONG APIENTRY CPlApplet(HWND controlPanel, UINT message, LPARAM param1, LPARAM param2) {
    kvr::ChooserApp();  // the applet object exists before the first message
    return kvr::CControlPanelApplet::Dispatch(controlPanel, message, param1, param2);
}
