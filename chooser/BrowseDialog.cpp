#include "BrowseDialog.h"

#include "Application.h"
#include "ChooserApp.h"
#include "ChooserConstants.h"
#include "ChooserSheet.h"
#include "DeviceDialogs.h"
#include "DeviceList.h"
#include "DeviceText.h"
#include "PortPage.h"
#include "RegistryInfo.h"
#include "RegistryNames.h"
#include "Resources.h"
#include "WindowDecor.h"
#include "WindowPosition.h"

namespace kvr {

namespace {

constexpr UINT kStatusTimeoutMs = 10000;
constexpr int kNoStatusBarHeight = 25;
constexpr int kShadowedControls[] = {IDC_TREE, IDCANCEL, IDC_ADD_SELECTION};

WORD PortGroupTimeout(std::uint16_t transport) { return transport == kTransportIpx ? 5 : 10; }

void EnumerationMessage(HWND owner, const std::wstring& text) {
    ShowMessageBox(owner, text, LoadResString(IDS_ENUMERATION_FAILED), MB_OK | MB_ICONERROR);
}

}  // namespace

KVR_BEGIN_MESSAGE_MAP(CBrowseDialog, CDialog)
KVR_ON_COMMAND_ID(IDC_ADD_SELECTION, OnAddCommand)
KVR_ON_COMMAND_ID(ID_VIEW_REFRESH, OnRefresh)
KVR_ON_COMMAND_ID(ID_ITEM_PROPERTIES, OnProperties)
KVR_ON_COMMAND_ID(ID_VIEW_ADD_DEVICE, OnAddDevice)
KVR_ON_COMMAND_ID(ID_HELP_INDEX, OnHelpIndex)
KVR_ON_NOTIFY(NM_DBLCLK, IDC_TREE, OnTreeDoubleClick)
KVR_ON_NOTIFY(TVN_SELCHANGEDW, IDC_TREE, OnTreeSelChanged)
KVR_ON_NOTIFY(TVN_ITEMEXPANDEDW, IDC_TREE, OnTreeItemExpanded)
KVR_ON_NOTIFY(NM_RCLICK, IDC_TREE, OnTreeRightClick)
KVR_ON_MESSAGE(kBrowseBindPort, OnBindPort)
KVR_ON_MESSAGE(kBrowseRefresh, OnRefreshMessage)
KVR_ON_MESSAGE(WM_CONTEXTMENU, OnContextMenu)
KVR_ON_MESSAGE(WM_HELP, OnHelpRequest)
KVR_ON_MESSAGE(WM_SIZE, OnSize)
KVR_ON_MESSAGE(WM_GETMINMAXINFO, OnMinMaxInfo)
KVR_ON_TIMER(kStatusTimer, OnStatusTimer)
KVR_ON_MESSAGE(WM_PAINT, OnPaint)
KVR_ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorStatic)
KVR_ON_MESSAGE(WM_SYSCOLORCHANGE, OnSysColorChange)
KVR_ON_MESSAGE(WM_DESTROY, OnDestroy)
KVR_ON_MESSAGE(WM_CLOSE, OnClose)
KVR_END_MESSAGE_MAP()

CBrowseDialog::CBrowseDialog(CRegistryInfo& model, CChooserPropertySheet& sheet)
    : CDialog(ResourceModule(), IDD_BROWSE), m_model(model), m_sheet(sheet) {}

bool CBrowseDialog::Open(HWND owner) {
    if (!Create(owner)) {
        // Unless its window came and went (which deleted it), it is ours to delete.
        if (ChooserApplet().BrowseDialog() == this) delete this;
        return false;
    }
    if (!m_populated) {
        // Its first discovery failed and has said why: close again.
        DestroyWindow();
        return false;
    }
    ::ShowWindow(m_hWnd, SW_SHOW);
    return true;
}

BOOL CBrowseDialog::OnInitDialog() {
    const HICON icon = ::LoadIconW(m_instance, MAKEINTRESOURCEW(IDI_BROWSE));
    m_smallIcon.Reset(static_cast<HICON>(::LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_BROWSE), IMAGE_ICON,
                                                      ::GetSystemMetrics(SM_CXSMICON),
                                                      ::GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon ? m_smallIcon.Get() : icon));
    m_shadow = CreateShadowBrush();
    m_shadowPen.Reset(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW)));
    m_highlightPen.Reset(::CreatePen(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT)));
    m_smallImages.Reset(CImageList::FromBitmap(m_instance, IDB_IMAGES_SMALL, 16, 8, kTransparentRed));
    m_largeImages.Reset(CImageList::FromBitmap(m_instance, IDB_IMAGES_LARGE, 32, 8, kTransparentRed));
    Tree().SetImageList(m_smallImages.Get());

    ::SetMenu(m_hWnd, ::LoadMenuW(m_instance, MAKEINTRESOURCEW(IDM_BROWSE)));
    m_contextMenu.Reset(::LoadMenuW(m_instance, MAKEINTRESOURCEW(IDM_BROWSE_CONTEXT)));

    m_statusBar = CStatusBar::Create(m_hWnd, IDC_STATUS_BAR, WS_CHILD | WS_VISIBLE | CCS_BOTTOM | SBARS_SIZEGRIP);
    const int rightEdges[] = {-1};
    CStatusBar(m_statusBar).SetParts(1, rightEdges);

    RECT initial;
    ::GetWindowRect(m_hWnd, &initial);
    m_minimumSize = SIZE{initial.right - initial.left, initial.bottom - initial.top};

    m_populated = Populate(false);
    if (m_populated) {
        if (!RestoreWindowPosition(m_hWnd, reg::kBrowserPosition, true)) {
            RECT work{}, r{};
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            ::GetWindowRect(m_hWnd, &r);
            ::SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - (r.right - r.left)) / 2,
                           work.top + (work.bottom - work.top - (r.bottom - r.top)) / 2, 0, 0,
                           SWP_NOSIZE | SWP_NOZORDER);
        }
        Layout();
        ::SetFocus(Tree().Get());
    }
    return FALSE;
}

void CBrowseDialog::PostNcDestroy() {
    ChooserApplet().SetBrowseDialog(nullptr);
    delete this;
}

bool CBrowseDialog::PreTranslateMessage(MSG& msg) {
    if (m_hWnd == nullptr || (msg.hwnd != m_hWnd && !::IsChild(m_hWnd, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F5) {
        OnRefresh();
        return true;
    }
    // Enter on the tree opens or adds, instead of closing the dialog.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == Tree().Get()) {
        ActOnSelection();
        return true;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CBrowseDialog::SetAddAvailable(bool enable) {
    EnableItem(IDC_ADD_SELECTION, enable);
    ::EnableMenuItem(::GetSubMenu(m_contextMenu.Get(), 0), IDC_ADD_SELECTION,
                     MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

void CBrowseDialog::RequestAdd(bool enable) {
    // While no port is bound the add stays off whatever asks for it.
    if (!m_noPort) SetAddAvailable(enable);
}

void CBrowseDialog::SetStatus(const std::wstring& text, bool timed) {
    const CStatusBar bar(m_statusBar);
    bar.SetText(0, text);
    ::UpdateWindow(m_statusBar);
    if (timed) SetTimer(kStatusTimer, kStatusTimeoutMs);
}

void CBrowseDialog::Reset() {
    RequestAdd(false);
    EnableItem(IDCANCEL, false);
    SetItemText(IDC_BROWSE_TITLE, std::wstring());
    SetStatus(std::wstring());
    const CTreeView tree = Tree();
    tree.SetRedraw(false);
    tree.DeleteAllItems();
    tree.SetRedraw(true);
    tree.Invalidate();
}

bool CBrowseDialog::Populate(bool force) {
    Reset();
    CDeviceList& list = DeviceList();
    if (force || list.IsEmpty()) {
        if (!list.IsEmpty()) list.Empty();
        if (!DiscoverDevices(m_hWnd, true, m_model.m_options)) return false;
    }
    RequestAdd(!list.IsEmpty());
    const CTreeView tree = Tree();
    tree.SetRedraw(false);
    tree.DeleteAllItems();
    for (int i = 0; i < list.Count(); ++i) {
        CDevice& device = list.At(i);
        const HTREEITEM item = tree.InsertItem(TVI_ROOT, device.Name(), kImageDevice, kImageDevice,
                                               reinterpret_cast<LPARAM>(&device));
        tree.SetItemImage(item, kImageDevice, kImageDevice);
    }
    tree.SetRedraw(true);
    EnableItem(IDCANCEL, true);
    const std::wstring& transport = m_model.m_options.m_strTransport;
    SetItemText(IDC_BROWSE_TITLE, FormatResString(IDS_BROWSE_TITLE, {transport}));
    ::EnableMenuItem(::GetMenu(m_hWnd), ID_VIEW_ADD_DEVICE,
                     MF_BYCOMMAND | (IsIpxTransport(transport) ? MF_GRAYED : MF_ENABLED));
    if (tree.GetCount() > 0) SetStatus(LoadResString(IDS_DOUBLE_CLICK_HINT));
    return true;
}

CObject* CBrowseDialog::ItemObject(HTREEITEM item) const {
    return item ? reinterpret_cast<CObject*>(Tree().GetItemData(item)) : nullptr;
}

void CBrowseDialog::ActOnSelection() {
    const CTreeView tree = Tree();
    const HTREEITEM item = tree.GetSelection();
    if (item == nullptr) return;
    RequestAdd(true);
    if (tree.GetParent(item) != nullptr) {
        AddSelection();
        return;
    }
    if (auto* device = static_cast<CDevice*>(ItemObject(item))) OpenDevice(item, *device);
}

void CBrowseDialog::OpenDevice(HTREEITEM item, CDevice& device) {
    const CTreeView tree = Tree();
    const HlpAddress address = device.Address();
    for (HTREEITEM child = tree.GetChild(item); child != nullptr; child = tree.GetChild(item))
        tree.DeleteItem(child);
    device.DeletePorts();

    StackSession session;
    if (session.Attach(device.Transport()) != 0) {
        EnumerationMessage(m_hWnd, LoadResString(IDS_NO_LIBRARY) + session.ErrorText());
        return;
    }
    SetStatus(LoadResString(IDS_LOOKING_FOR_GROUPS));
    std::vector<std::wstring> names;
    if (session.GetSerialNames(address, PortGroupTimeout(device.Transport()), names) != 0) {
        SetStatus(std::wstring());
        EnumerationMessage(m_hWnd, session.ErrorText());
        return;
    }
    SetStatus(names.empty() ? LoadResString(IDS_NO_GROUPS)
                            : FormatResString(IDS_GROUP_COUNT, {device.Name(), static_cast<int>(names.size())}),
              true);
    for (auto& name : names) {
        CDevicePort& port = device.AddPort(std::move(name));
        const int image = PortGroupKind(port.m_strName);
        tree.InsertItem(item, port.m_strName, image, image, reinterpret_cast<LPARAM>(&port));
    }
    // The tree's own double-click handling, which follows, opens it.
    if (!names.empty()) tree.Expand(item, TVE_COLLAPSE);
}

void CBrowseDialog::AddSelection() {
    const CTreeView tree = Tree();
    const HTREEITEM item = tree.GetSelection();
    if (DeviceList().IsEmpty() || item == nullptr) return;
    CObject* selected = ItemObject(item);
    if (selected == nullptr) return;
    m_context = selected;
    const CDevice* device = selected->IsKindOf(KVR_RUNTIME_CLASS(CDevicePort))
                                ? static_cast<const CDevicePort*>(selected)->m_pDevice
                                : static_cast<const CDevice*>(selected);
    CRedirDeviceArray& known = m_model.m_devices;
    if (const int index = known.FindByName(device->Name()); index >= 0) known.RemoveAt(index);
    known.Add(CRedirDevice::FromRecord(device->Record()));
    known.m_bModified = TRUE;
    if (m_boundPage != nullptr && m_boundPage->GetSafeHwnd() != nullptr)
        m_boundPage->PostMessage(kPortAddSelection, 0, reinterpret_cast<LPARAM>(selected));
}

void CBrowseDialog::OnAddCommand() { AddSelection(); }

void CBrowseDialog::OnRefresh() { Populate(true); }

void CBrowseDialog::OnProperties() {
    if (m_context == nullptr) return;
    int image = kImageDevice;
    if (m_context->IsKindOf(KVR_RUNTIME_CLASS(CDevicePort)))
        image = PortGroupKind(static_cast<CDevicePort*>(m_context)->m_strName);
    const UniqueIcon icon(CImageList(m_largeImages.Get()).ExtractIcon(image));
    CDevicePropertyDialog dialog(*m_context, icon.Get());
    dialog.DoModal(m_hWnd);
}

void CBrowseDialog::OnAddDevice() {
    CAddIPDeviceDialog dialog(m_model);
    if (dialog.DoModal(m_hWnd) == IDOK) Populate(false);
}

void CBrowseDialog::OnHelpIndex() { ChooserApp().WinHelp(m_hWnd, HELP_CONTEXT, kHelpResourceBase + IDD_BROWSE); }

LRESULT CBrowseDialog::OnTreeDoubleClick(NMHDR&) {
    const CTreeView tree = Tree();
    const HTREEITEM item = tree.GetSelection();
    if (item != nullptr && tree.IsExpanded(item)) {
        // The tree closes it; nothing to ask.
        SetStatus(std::wstring());
        return 0;
    }
    ActOnSelection();
    return 0;
}

LRESULT CBrowseDialog::OnTreeSelChanged(NMHDR&) {
    RequestAdd(true);
    return 0;
}

LRESULT CBrowseDialog::OnTreeItemExpanded(NMHDR& header) {
    const auto& info = reinterpret_cast<const NMTREEVIEWW&>(header);
    const CTreeView tree = Tree();
    const HTREEITEM item = info.itemNew.hItem;
    if (item != nullptr && tree.GetParent(item) == nullptr) {
        const int image = (info.action & TVE_EXPAND) ? kImageExpandedDevice : kImageDevice;
        tree.SetItemImage(item, image, image);
    }
    return 0;
}

LRESULT CBrowseDialog::OnTreeRightClick(NMHDR&) {
    const CTreeView tree = Tree();
    POINT cursor;
    ::GetCursorPos(&cursor);
    for (HTREEITEM item = tree.GetFirstVisible(); item != nullptr; item = tree.GetNextVisible(item)) {
        RECT text{};
        if (!tree.GetItemRect(item, text, true)) continue;
        ::MapWindowPoints(tree.Get(), nullptr, reinterpret_cast<POINT*>(&text), 2);
        if (::PtInRect(&text, cursor)) {
            tree.SelectItem(item);
            break;
        }
    }
    // The tree goes on to ask for the context menu.
    return 0;
}

bool CBrowseDialog::OnBindPort(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const int port = static_cast<int>(wParam);
    result = 0;
    if (port >= 1 && port <= 4) {
        m_noPort = false;
        SetItemText(IDC_ADD_SELECTION, FormatResString(IDS_ADD_SELECTION, {port}));
        SetAddAvailable(!DeviceList().IsEmpty());
        m_boundPage = reinterpret_cast<CPortPage*>(lParam);
    } else {
        m_noPort = true;
        SetAddAvailable(false);
        m_boundPage = nullptr;
    }
    return true;
}

bool CBrowseDialog::OnRefreshMessage(WPARAM, LPARAM, LRESULT& result) {
    Reset();
    OnRefresh();
    result = 0;
    return true;
}

bool CBrowseDialog::OnContextMenu(WPARAM, LPARAM lParam, LRESULT& result) {
    ShowContextMenu(ContextMenuPoint(m_hWnd, lParam));
    result = 0;
    return true;
}

void CBrowseDialog::ShowContextMenu(POINT screen) {
    const CTreeView tree = Tree();
    const RECT window = tree.WindowRect();
    const HTREEITEM item = tree.GetSelection();
    if (!::PtInRect(&window, screen) || item == nullptr) return;
    RECT text{};
    if (!tree.GetItemRect(item, text, true)) return;
    ::MapWindowPoints(tree.Get(), nullptr, reinterpret_cast<POINT*>(&text), 2);
    if (!::PtInRect(&text, screen)) return;
    m_context = ItemObject(item);
    TrackContextMenu(m_contextMenu.Get(), screen, m_hWnd);
}

bool CBrowseDialog::OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result) {
    static constexpr int kHelpControls[] = {IDC_TREE, IDC_ADD_SELECTION};
    ShowControlPopupHelp(*reinterpret_cast<const HELPINFO*>(lParam), kHelpControls);
    result = TRUE;
    return true;
}

void CBrowseDialog::Layout() {
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int width = client.right, height = client.bottom;
    int statusHeight = kNoStatusBarHeight;
    if (m_statusBar != nullptr) {
        ::SendMessageW(m_statusBar, WM_SIZE, 0, 0);
        RECT bar;
        ::GetWindowRect(m_statusBar, &bar);
        statusHeight = bar.bottom - bar.top;
    }
    const auto size = [](HWND window) {
        RECT r;
        ::GetWindowRect(window, &r);
        return SIZE{r.right - r.left, r.bottom - r.top};
    };
    const HWND add = GetItem(IDC_ADD_SELECTION);
    const HWND close = GetItem(IDCANCEL);
    const SIZE addSize = size(add), closeSize = size(close);
    ::SetWindowPos(add, nullptr, 9, height - addSize.cy - statusHeight - 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(close, nullptr, addSize.cx + 14, height - closeSize.cy - statusHeight - 10, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER);
    ::SetWindowPos(Tree().Get(), nullptr, 8, 22, width - 16, height - closeSize.cy - statusHeight - 42,
                   SWP_NOZORDER);
    ::SetWindowPos(GetItem(IDC_BROWSE_TITLE), nullptr, 10, 5, width - 18, 16, SWP_NOZORDER);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

bool CBrowseDialog::OnSize(WPARAM wParam, LPARAM, LRESULT& result) {
    if (wParam != SIZE_MINIMIZED) Layout();
    result = 0;
    return true;
}

bool CBrowseDialog::OnMinMaxInfo(WPARAM, LPARAM lParam, LRESULT& result) {
    // Never smaller than it opened: the layout cannot go negative.
    if (m_minimumSize.cx > 0) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = POINT{m_minimumSize.cx, m_minimumSize.cy};
    }
    result = 0;
    return true;
}

bool CBrowseDialog::OnStatusTimer(WPARAM, LPARAM, LRESULT& result) {
    SetStatus(std::wstring());
    result = 0;
    return true;
}

bool CBrowseDialog::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    PaintDC dc(m_hWnd);
    for (int id : kShadowedControls) PaintDropShadow(dc.Get(), GetItem(id), m_shadow.Get());
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    // The etched line under the menu bar.
    {
        SelectObjectScope pen(dc.Get(), m_shadowPen.Get());
        ::MoveToEx(dc.Get(), 0, 0, nullptr);
        ::LineTo(dc.Get(), client.right, 0);
    }
    {
        SelectObjectScope pen(dc.Get(), m_highlightPen.Get());
        ::MoveToEx(dc.Get(), 0, 1, nullptr);
        ::LineTo(dc.Get(), client.right, 1);
    }
    result = 0;
    return true;
}

bool CBrowseDialog::OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result) { return TransparentStatic(wParam, result); }

bool CBrowseDialog::OnSysColorChange(WPARAM, LPARAM, LRESULT&) {
    m_shadow = CreateShadowBrush();
    return false;
}

bool CBrowseDialog::OnClose(WPARAM, LPARAM, LRESULT& result) {
    // The title bar's close box works even while Close is disabled.
    DestroyWindow();
    result = 0;
    return true;
}

bool CBrowseDialog::OnDestroy(WPARAM, LPARAM, LRESULT&) {
    // A window that never showed its devices keeps the user's stored place.
    if (m_populated) SaveWindowPosition(m_hWnd, reg::kBrowserPosition);
    KillTimer(kStatusTimer);
    if (m_boundPage != nullptr && m_boundPage->GetSafeHwnd() != nullptr) m_boundPage->PostMessage(kPortBrowseClosed);
    m_shadowPen.Reset();
    m_highlightPen.Reset();
    return false;
}

}  // namespace kvr
