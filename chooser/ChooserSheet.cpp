#include "ChooserSheet.h"

#include "Application.h"
#include "ChooserApp.h"
#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "Controls.h"
#include "OptionsPage.h"
#include "PortPage.h"
#include "RegistryInfo.h"
#include "RegistryNames.h"
#include "Resources.h"
#include "WindowPosition.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CChooserPropertySheet, CPropertySheet)

KVR_BEGIN_MESSAGE_MAP(CChooserPropertySheet, CPropertySheet)
KVR_ON_MESSAGE(WM_COMMAND, OnCommandMessage)
KVR_ON_MESSAGE(WM_DESTROY, OnDestroy)
KVR_ON_MESSAGE(WM_PAINT, OnPaint)
KVR_ON_MESSAGE(WM_QUERYDRAGICON, OnQueryDragIcon)
KVR_END_MESSAGE_MAP()

CChooserPropertySheet::CChooserPropertySheet(CRegistryInfo& model, HWND)
    : CPropertySheet(ResourceModule(), LoadResString(IDS_CHOOSER_CAPTION), 0), m_model(model) {
    for (int port = 1; port <= kPortCount; ++port) {
        m_portPages[port - 1] = std::make_unique<CPortPage>(*this, model, port);
        AddPage(m_portPages[port - 1].get());
    }
    m_optionsPage = std::make_unique<COptionsPage>(*this, model);
    AddPage(m_optionsPage.get());
    SetFlags(PSH_HASHELP);
}

CChooserPropertySheet::~CChooserPropertySheet() {
    if (m_smallIcon != nullptr) ::DestroyIcon(m_smallIcon);
}

void CChooserPropertySheet::OnInitSheet() {
    ChooserApp().SetMainWindow(m_hWnd);
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) | WS_EX_CONTEXTHELP);
    m_icon = ::LoadIconW(m_instance, MAKEINTRESOURCEW(IDI_CHOOSER));
    m_smallIcon = static_cast<HICON>(::LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CHOOSER), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                  0));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon ? m_smallIcon : m_icon));

    const CTabCtrl tabs(GetTabControl());
    m_tabImages.Reset(CImageList::FromBitmap(m_instance, IDB_TAB_IMAGES, 16, 8, kTransparentRed));
    tabs.SetImageList(m_tabImages.Get());
    for (int port = 1; port <= kPortCount; ++port)
        tabs.SetItem(port - 1, FormatText(L"COM%d", {port}), m_model.m_options.Port(port).m_bRedirected ? 1 : 0);
    tabs.SetItem(kPortCount, LoadResString(IDS_OPTIONS_TAB), -1);

    RestoreWindowPosition(m_hWnd, reg::kChooserPosition, false);
    for (int i = 0; i < PageCount(); ++i) SetActivePage(i);
    int first = kPortCount;  // the Options page unless a port is redirected
    for (int port = kPortCount; port >= 1; --port)
        if (m_model.m_options.Port(port).m_bRedirected) first = port - 1;
    SetActivePage(first);
}

void CChooserPropertySheet::SetPortTabImage(int port, bool redirected) {
    CTabCtrl(GetTabControl()).SetItemImage(port - 1, redirected ? 1 : 0);
}

void CChooserPropertySheet::ReloadPortPages() {
    for (const auto& page : m_portPages)
        if (page->GetSafeHwnd() != nullptr) page->PostMessage(kPortReload);
}

void CChooserPropertySheet::MarkListedServers(CRedirDeviceArray& devices) const {
    for (const auto& page : m_portPages)
        if (page->GetSafeHwnd() != nullptr) page->MarkServers(devices);
}

void CChooserPropertySheet::ShowReloadedPort(int port) {
    SetActivePage(port - 1);
    CPortPage& page = PortPage(port);
    page.ReloadFromModel();
    page.SetModified(true);
}

bool CChooserPropertySheet::OnCommandMessage(WPARAM wParam, LPARAM, LRESULT& result) {
    const UINT id = LOWORD(wParam);
    if (id == ID_HELP_INDEX) {
        // The active page's topic.
        const int active = GetActiveIndex();
        if (active >= 0)
            ChooserApp().WinHelp(m_hWnd, HELP_CONTEXT, kHelpResourceBase + GetPage(active)->TemplateId());
        result = 0;
        return true;
    }
    if (HIWORD(wParam) != BN_CLICKED || (id != IDOK && id != kApplyNowButton)) return false;
    // A failed store stops the command: the sheet stays open, changes kept.
    if (m_model.SaveIfModified(m_hWnd)) return false;
    result = 0;
    return true;
}

bool CChooserPropertySheet::OnDestroy(WPARAM, LPARAM, LRESULT&) {
    SaveWindowPosition(m_hWnd, reg::kChooserPosition);
    ChooserApp().WinHelp(m_hWnd, HELP_QUIT, 0);
    return false;
}

bool CChooserPropertySheet::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    if (!::IsIconic(m_hWnd)) return false;
    PaintDC dc(m_hWnd);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc.Get(), x, y, m_icon);
    result = 0;
    return true;
}

bool CChooserPropertySheet::OnQueryDragIcon(WPARAM, LPARAM, LRESULT& result) {
    result = reinterpret_cast<LRESULT>(m_icon);
    return true;
}

}  // namespace kvr
