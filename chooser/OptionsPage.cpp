#include "OptionsPage.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "AboutDialog.h"
#include "BrowseDialog.h"
#include "ChooserApp.h"
#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "ChooserSheet.h"
#include "Controls.h"
#include "DataExchange.h"
#include "DeviceList.h"
#include "DeviceText.h"
#include "NetworkCheck.h"
#include "RegistryInfo.h"
#include "Resources.h"
#include "WindowDecor.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(COptionsPage, CPropertyPage)

namespace {

constexpr int kUsernameChars = 31;
constexpr int kPageHelpControls[] = {IDC_NARRATE, IDC_LOGO_BUTTON, IDC_USERNAME, IDC_TCPIP,
                                     IDC_IPX,     IDC_ADVANCED,    IDC_MODEM_DISPLAY};
constexpr int kAdvancedHelpControls[] = {IDC_LOOKUP_METHODS, IDC_USABLE_ONLY,   IDC_SILENT,
                                         IDC_REOPEN,         IDC_CACHE_DISABLED, IDC_CACHE_TIMED,
                                         IDC_CACHE_FOREVER,  IDC_CACHE_TRACKBAR, IDC_DEFAULTS};
constexpr int kShadowedControls[] = {IDC_LOGO_BUTTON, IDC_USERNAME, IDC_ADVANCED};
constexpr const wchar_t* kLogoBitmaps[] = {L"CHOOSERLOGOU", L"CHOOSERLOGOD", L"CHOOSERLOGOF", L"CHOOSERLOGOX"};
constexpr wchar_t kTrademarkSign[] = L"\u00E4";  // the trademark sign in the Symbol font

constexpr int kCacheMinimum = 5;
constexpr int kCacheMaximum = 360;
constexpr int kCacheStep = 5;
constexpr int kCacheTicks[] = {10, 30, 60, 120, 180, 240, 300};
constexpr int kCacheForever = -1;
constexpr DWORD kCacheForeverMs = 0xFFFFFFFF;
constexpr DWORD kMsPerMinute = 60000;

}  // namespace

KVR_BEGIN_MESSAGE_MAP(COptionsPage, CPropertyPage)
KVR_ON_CONTROL(EN_SETFOCUS, IDC_USERNAME, OnUsernameFocus)
KVR_ON_CONTROL(EN_KILLFOCUS, IDC_USERNAME, OnUsernameBlur)
KVR_ON_CONTROL(EN_CHANGE, IDC_USERNAME, OnUsernameChange)
KVR_ON_BN_CLICKED(IDC_NARRATE, OnNarrateClicked)
KVR_ON_BN_CLICKED(IDC_MODEM_DISPLAY, OnModemDisplayClicked)
KVR_ON_BN_CLICKED(IDC_TCPIP, OnTcpIpClicked)
KVR_ON_BN_CLICKED(IDC_IPX, OnIpxClicked)
KVR_ON_BN_CLICKED(IDC_ADVANCED, OnAdvancedClicked)
KVR_ON_BN_CLICKED(IDC_LOGO_BUTTON, OnLogoClicked)
KVR_ON_MESSAGE(WM_DRAWITEM, OnDrawItem)
KVR_ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
KVR_ON_MESSAGE(WM_HELP, OnHelpRequest)
KVR_ON_MESSAGE(WM_PAINT, OnPaint)
KVR_ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorStatic)
KVR_ON_MESSAGE(WM_CTLCOLORBTN, OnColorStatic)
KVR_ON_MESSAGE(WM_SYSCOLORCHANGE, OnSysColorChange)
KVR_END_MESSAGE_MAP()

COptionsPage::COptionsPage(CChooserPropertySheet& sheet, CRegistryInfo& model)
    : CPropertyPage(ResourceModule(), IDD_OPTIONS_PAGE), m_sheet(sheet), m_model(model) {
    SetHelp(true);
}

BOOL COptionsPage::OnInitDialog() {
    const COptions& options = m_model.m_options;
    SetCheck(IDC_NARRATE, options.m_bNarrate);
    SetCheck(IDC_MODEM_DISPLAY, options.m_bShowModemDisplay);
    const bool ipx = IsIpxTransport(options.m_strTransport);
    ShowTransport(ipx);
    WarnIfMissing(kFamilyIp, !ipx, kNetworkTcpIp, kNetworkIpxSpx);
    WarnIfMissing(kFamilyIpx, ipx, kNetworkIpxSpx, kNetworkTcpIp);

    const CEdit username(m_hWnd, IDC_USERNAME);
    username.LimitText(kUsernameChars);
    username.SetText(options.m_strUsername);

    m_symbolFont = CreatePointFont(m_hWnd, 10, L"Symbol", SYMBOL_CHARSET);
    SetItemText(IDC_OPTIONS_TRADEMARK, kTrademarkSign);
    SendDlgItemMessageW(m_hWnd, IDC_OPTIONS_TRADEMARK, WM_SETFONT, reinterpret_cast<WPARAM>(m_symbolFont.Get()),
                        TRUE);
    m_hand = ::LoadCursorW(m_instance, MAKEINTRESOURCEW(IDR_HAND_CURSOR));
    for (std::size_t i = 0; i < std::size(kLogoBitmaps); ++i)
        m_logo[i].Reset(static_cast<HBITMAP>(::LoadImageW(m_instance, kLogoBitmaps[i], IMAGE_BITMAP, 0, 0, 0)));
    m_shadow = CreateShadowBrush();
    return TRUE;
}

void COptionsPage::WarnIfMissing(int family, bool selected, const wchar_t* name, const wchar_t* other) {
    const bool available = IsTransportAvailable(family);
    EnableItem(family == kFamilyIpx ? IDC_IPX : IDC_TCPIP, available);
    if (available || !selected) return;
    ShowMessageBox(SheetWindow(), FormatResString(IDS_TRANSPORT_MISSING, {name, name, name, other}),
                   LoadResString(IDS_CONFIGURATION_WARNING), MB_OK | MB_ICONWARNING);
}

void COptionsPage::ShowTransport(bool ipx) {
    SetCheck(IDC_IPX, ipx);
    SetCheck(IDC_TCPIP, !ipx);
}

bool COptionsPage::OnSetActive() {
    if (CBrowseDialog* browse = ChooserApplet().BrowseDialog(); browse != nullptr && browse->GetSafeHwnd())
        browse->PostMessage(kBrowseBindPort, 0, 0);
    return true;
}

void COptionsPage::ModelChanged() {
    m_model.m_options.m_bModified = TRUE;
    SetModified(true);
}

void COptionsPage::OnUsernameFocus() { m_editHasFocus = true; }
void COptionsPage::OnUsernameBlur() { m_editHasFocus = false; }

void COptionsPage::OnUsernameChange() {
    if (!m_editHasFocus) return;
    m_model.m_options.m_strUsername = GetItemText(IDC_USERNAME);
    ModelChanged();
}

void COptionsPage::OnNarrateClicked() {
    m_model.m_options.m_bNarrate = IsChecked(IDC_NARRATE);
    ModelChanged();
}

void COptionsPage::OnModemDisplayClicked() {
    m_model.m_options.m_bShowModemDisplay = IsChecked(IDC_MODEM_DISPLAY);
    ModelChanged();
}

void COptionsPage::OnTcpIpClicked() { SwitchTransport(kNetworkTcpIp); }
void COptionsPage::OnIpxClicked() { SwitchTransport(kNetworkIpx); }

void COptionsPage::SwitchTransport(const wchar_t* target) {
    if (m_switching) return;
    m_switching = true;
    COptions& options = m_model.m_options;
    if (options.m_strTransport == target) {
        m_switching = false;
        return;
    }
    if (!ConfirmTransportSwitch()) {
        ShowTransport(IsIpxTransport(options.m_strTransport));
        m_switching = false;
        return;
    }
    options.m_strTransport = target;
    options.m_bModified = TRUE;
    m_sheet.ReloadPortPages();
    if (!m_model.SaveIfModified(SheetWindow())) {
        m_switching = false;
        return;
    }
    if (CBrowseDialog* browse = ChooserApplet().BrowseDialog(); browse != nullptr && browse->GetSafeHwnd())
        browse->PostMessage(kBrowseRefresh);
    else
        DeviceList().Empty();
    m_switching = false;
}

bool COptionsPage::ConfirmTransportSwitch() {
    COptions& options = m_model.m_options;
    if (options.IsEmpty()) return true;
    const int answer = ShowMessageBox(
        SheetWindow(), LoadResString(IDS_CONFIRM_SWITCH),
        FormatResString(IDS_CONFIRM_CAPTION, {LoadResString(IDS_SWITCHING_TRANSPORTS)}),
        MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION);
    if (answer != IDYES) return false;
    options.ClearPorts(0);
    m_model.m_devices.DeleteAll();
    return true;
}

void COptionsPage::OnAdvancedClicked() {
    COptions& options = m_model.m_options;
    CAdvancedOptionsDlg dialog;
    dialog.m_reopenSeconds = static_cast<int>(options.m_nReopen / 1000);
    dialog.m_silent = options.m_bSilent ? 1 : 0;
    dialog.m_lookupMethods = options.m_strIPLookupMethods;
    dialog.m_showUsableOnly = options.m_bShowUsableOnly ? 1 : 0;
    dialog.m_cacheMinutes = options.m_nPasswordCaching == kCacheForeverMs
                                ? kCacheForever
                                : static_cast<int>(options.m_nPasswordCaching / kMsPerMinute);
    if (dialog.DoModal(SheetWindow()) != IDOK) return;
    options.m_nReopen = static_cast<DWORD>(dialog.m_reopenSeconds) * 1000;
    options.m_bSilent = dialog.m_silent;
    options.m_strIPLookupMethods = dialog.m_lookupMethods;
    options.m_bShowUsableOnly = dialog.m_showUsableOnly;
    options.m_nPasswordCaching = dialog.m_cacheMinutes == kCacheForever
                                     ? kCacheForeverMs
                                     : static_cast<DWORD>(dialog.m_cacheMinutes) * kMsPerMinute;
    ModelChanged();
}

void COptionsPage::OnLogoClicked() {
    CAboutDialog about;
    about.DoModal(SheetWindow());
}

bool COptionsPage::OnDrawItem(WPARAM, LPARAM lParam, LRESULT& result) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item.CtlID != IDC_LOGO_BUTTON) return false;
    int face = 0;  // up
    if (item.itemState & ODS_DISABLED) face = 3;
    else if (item.itemState & ODS_SELECTED) face = 1;
    else if (item.itemState & ODS_FOCUS) face = 2;
    if (!ChooserApplet().ColorDisplay()) {
        // Few colours: a plain button with the maker's name.
        RECT r = item.rcItem;
        ::DrawFrameControl(item.hDC, &r, DFC_BUTTON,
                           DFCS_BUTTONPUSH | (item.itemState & ODS_SELECTED ? DFCS_PUSHED : 0) |
                               (item.itemState & ODS_DISABLED ? DFCS_INACTIVE : 0));
        ::SetBkMode(item.hDC, TRANSPARENT);
        ::DrawTextW(item.hDC, L"Quelt", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (item.itemState & ODS_FOCUS) {
            ::InflateRect(&r, -3, -3);
            ::DrawFocusRect(item.hDC, &r);
        }
    } else if (const HBITMAP bitmap = m_logo[face].Get()) {
        BITMAP info{};
        ::GetObjectW(bitmap, sizeof info, &info);
        MemoryDC source(item.hDC);
        SelectObjectScope select(source.Get(), bitmap);
        ::StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                     item.rcItem.bottom - item.rcItem.top, source.Get(), 0, 0, info.bmWidth, info.bmHeight,
                     SRCCOPY);
    }
    result = TRUE;
    return true;
}

bool COptionsPage::OnSetCursor(WPARAM wParam, LPARAM, LRESULT& result) {
    if (reinterpret_cast<HWND>(wParam) != GetItem(IDC_LOGO_BUTTON) || m_hand == nullptr) return false;
    ::SetCursor(m_hand);
    result = TRUE;
    return true;
}

bool COptionsPage::OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result) {
    ShowControlPopupHelp(*reinterpret_cast<const HELPINFO*>(lParam), kPageHelpControls);
    result = TRUE;
    return true;
}

bool COptionsPage::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    PaintDC dc(m_hWnd);
    for (int id : kShadowedControls) PaintDropShadow(dc.Get(), GetItem(id), m_shadow.Get());
    result = 0;
    return true;
}

bool COptionsPage::OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result) { return TransparentStatic(wParam, result); }

bool COptionsPage::OnSysColorChange(WPARAM, LPARAM, LRESULT&) {
    m_shadow = CreateShadowBrush();
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    return false;
}

KVR_BEGIN_MESSAGE_MAP(CAdvancedOptionsDlg, CDialog)
KVR_ON_BN_CLICKED(IDC_CACHE_DISABLED, OnDisabledClicked)
KVR_ON_BN_CLICKED(IDC_CACHE_TIMED, OnTimedClicked)
KVR_ON_BN_CLICKED(IDC_CACHE_FOREVER, OnForeverClicked)
KVR_ON_BN_CLICKED(IDC_DEFAULTS, OnDefaults)
KVR_ON_CONTROL(EN_CHANGE, IDC_REOPEN, EnableOk)
KVR_ON_CONTROL(EN_CHANGE, IDC_LOOKUP_METHODS, EnableOk)
KVR_ON_BN_CLICKED(IDC_SILENT, EnableOk)
KVR_ON_BN_CLICKED(IDC_USABLE_ONLY, EnableOk)
KVR_ON_MESSAGE(WM_HSCROLL, OnScroll)
KVR_ON_MESSAGE(WM_HELP, OnHelpRequest)
KVR_END_MESSAGE_MAP()

namespace {
constexpr int kReopenMinimum = 1;
constexpr int kReopenMaximum = 60;
constexpr int kLookupMethodsChars = 80;
}  // namespace

CAdvancedOptionsDlg::CAdvancedOptionsDlg() : CDialog(ResourceModule(), IDD_ADVANCED_OPTIONS) {}

BOOL CAdvancedOptionsDlg::OnInitDialog() {
    const CTrackBar trackbar(m_hWnd, IDC_CACHE_TRACKBAR);
    trackbar.SetRange(kCacheMinimum, kCacheMaximum);
    trackbar.SetLineSize(kCacheStep);
    trackbar.SetPageSize(60);
    for (int tick : kCacheTicks) trackbar.SetTick(tick);
    Refresh();
    ExchangeData(m_hWnd, Fields(), false);
    // Filling the fields counts as no change.
    EnableItem(IDOK, false);
    return TRUE;
}

void CAdvancedOptionsDlg::Refresh() {
    const CTrackBar trackbar(m_hWnd, IDC_CACHE_TRACKBAR);
    int checked = IDC_CACHE_TIMED;
    std::wstring label;
    if (m_cacheMinutes == 0) {
        label = LoadResString(IDS_CACHE_DISABLED);
        checked = IDC_CACHE_DISABLED;
        trackbar.Enable(false);
        trackbar.SetPos(kCacheMinimum);
    } else if (m_cacheMinutes == kCacheForever) {
        label = LoadResString(IDS_CACHE_FOREVER);
        checked = IDC_CACHE_FOREVER;
        trackbar.Enable(false);
        trackbar.SetPos(kCacheMaximum);
    } else {
        if (static_cast<unsigned>(m_cacheMinutes) > kCacheMaximum) m_cacheMinutes = kCacheMaximum;
        const unsigned long minutes = static_cast<unsigned long>(m_cacheMinutes);
        label = minutes >= 60 ? FormatResString(IDS_CACHE_HOURS, {minutes / 60, minutes % 60})
                              : FormatResString(IDS_CACHE_MINUTES, {minutes});
        trackbar.Enable(true);
        trackbar.SetPos(m_cacheMinutes);
    }
    ::CheckRadioButton(m_hWnd, IDC_CACHE_DISABLED, IDC_CACHE_FOREVER, checked);
    SetItemText(IDC_CACHE_LABEL, label);
}

void CAdvancedOptionsDlg::EnableOk() { EnableItem(IDOK, true); }

void CAdvancedOptionsDlg::OnDisabledClicked() {
    m_cacheMinutes = 0;
    Refresh();
    EnableOk();
}

void CAdvancedOptionsDlg::OnTimedClicked() {
    m_cacheMinutes = 60;
    Refresh();
    EnableOk();
}

void CAdvancedOptionsDlg::OnForeverClicked() {
    m_cacheMinutes = kCacheForever;
    Refresh();
    EnableOk();
}

bool CAdvancedOptionsDlg::OnScroll(WPARAM, LPARAM lParam, LRESULT& result) {
    const CTrackBar trackbar(m_hWnd, IDC_CACHE_TRACKBAR);
    if (reinterpret_cast<HWND>(lParam) != trackbar.Get()) return false;
    m_cacheMinutes = trackbar.GetPos() / kCacheStep * kCacheStep;
    Refresh();
    EnableOk();
    result = 0;
    return true;
}

void CAdvancedOptionsDlg::OnDefaults() {
    m_reopenSeconds = 12;
    m_silent = 1;
    m_lookupMethods.clear();
    m_showUsableOnly = 1;
    m_cacheMinutes = 60;
    Refresh();
    ExchangeData(m_hWnd, Fields(), false);
    EnableOk();
}

std::array<DdxField, 4> CAdvancedOptionsDlg::Fields() {
    return {DdxInteger(IDC_REOPEN, m_reopenSeconds, kReopenMinimum, kReopenMaximum),
            DdxText(IDC_LOOKUP_METHODS, m_lookupMethods, kLookupMethodsChars),
            DdxCheck(IDC_USABLE_ONLY, m_showUsableOnly), DdxCheck(IDC_SILENT, m_silent)};
}

void CAdvancedOptionsDlg::OnOK() {
    // A field that does not validate leaves every value as it came in.
    if (!ExchangeData(m_hWnd, Fields(), true)) return;
    // The timed choice keeps the minutes shown, which the thumb cannot
    // always stand for (a stored single minute, say).
    if (IsChecked(IDC_CACHE_DISABLED)) m_cacheMinutes = 0;
    else if (IsChecked(IDC_CACHE_FOREVER)) m_cacheMinutes = kCacheForever;
    else if (!IsChecked(IDC_CACHE_TIMED)) m_cacheMinutes = 0;
    EndDialog(IDOK);
}

bool CAdvancedOptionsDlg::OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result) {
    ShowControlPopupHelp(*reinterpret_cast<const HELPINFO*>(lParam), kAdvancedHelpControls);
    result = TRUE;
    return true;
}

}  // namespace kvr
