#include "PortPage.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "Application.h"
#include "BrowseDialog.h"
#include "ChooserApp.h"
#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "ChooserSheet.h"
#include "DeviceList.h"
#include "DeviceText.h"
#include "RedirectionText.h"
#include "RegistryInfo.h"
#include "Resources.h"
#include "WindowDecor.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CPortPage, CPropertyPage)

namespace {

enum Column { kColumnServer = 0, kColumnGroup = 1, kColumnType = 2 };
constexpr UINT kColumnTitles[] = {IDS_COLUMN_SERVER, IDS_COLUMN_PORT_GROUP, IDS_COLUMN_SERVER_TYPE};
constexpr int kColumnPadding = 15;
constexpr int kIconColumnPadding = 35;
constexpr int kHelpControls[] = {IDC_REDIRECT, IDC_PORT_LIST, IDC_BROWSE_NETWORK, IDC_COPY_TO, IDC_REMOVE};
constexpr int kShadowedControls[] = {IDC_PORT_LIST, IDC_COPY_TO, IDC_REMOVE, IDC_BROWSE_NETWORK};

int ImageOfGroup(const std::wstring& group) { return group.empty() ? kImageDevice : PortGroupKind(group); }

}  // namespace

KVR_BEGIN_MESSAGE_MAP(CPortPage, CPropertyPage)
KVR_ON_BN_CLICKED(IDC_REDIRECT, OnRedirectClicked)
KVR_ON_BN_CLICKED(IDC_BROWSE_NETWORK, OnBrowseClicked)
KVR_ON_BN_CLICKED(IDC_REMOVE, OnRemoveCommand)
KVR_ON_COMMAND_ID(ID_PORT_REMOVE, OnRemoveCommand)
KVR_ON_BN_CLICKED(IDC_COPY_TO, OnCopyToClicked)
KVR_ON_NOTIFY(LVN_ITEMCHANGED, IDC_PORT_LIST, OnItemChanged)
KVR_ON_NOTIFY(LVN_BEGINDRAG, IDC_PORT_LIST, OnBeginDrag)
KVR_ON_NOTIFY(LVN_KEYDOWN, IDC_PORT_LIST, OnListKeyDown)
KVR_ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
KVR_ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
KVR_ON_MESSAGE(WM_CAPTURECHANGED, OnCaptureChanged)
KVR_ON_MESSAGE(WM_CONTEXTMENU, OnContextMenu)
KVR_ON_MESSAGE(WM_HELP, OnHelpRequest)
KVR_ON_MESSAGE(WM_PAINT, OnPaint)
KVR_ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorStatic)
KVR_ON_MESSAGE(WM_CTLCOLORBTN, OnColorStatic)
KVR_ON_MESSAGE(WM_SYSCOLORCHANGE, OnSysColorChange)
KVR_ON_MESSAGE(kPortBrowseClosed, OnBrowseClosed)
KVR_ON_MESSAGE(kPortAddSelection, OnAddSelection)
KVR_ON_MESSAGE(kPortReload, OnReload)
KVR_END_MESSAGE_MAP()

CPortPage::CPortPage(CChooserPropertySheet& sheet, CRegistryInfo& model, int port)
    : CPropertyPage(ResourceModule(), IDD_PORT_PAGE), m_sheet(sheet), m_model(model), m_port(port) {
    SetHelp(true);
}

BOOL CPortPage::OnInitDialog() {
    const CListView list = List();
    m_images.Reset(CImageList::FromBitmap(m_instance, IDB_IMAGES_SMALL, 16, 8, kTransparentRed));
    list.SetImageList(m_images.Get(), LVSIL_SMALL);
    for (int column = 0; column < 3; ++column) {
        const std::wstring title = LoadResString(kColumnTitles[column]);
        list.InsertColumn(column, title, list.GetStringWidth(title) + kColumnPadding);
    }
    // Report view, single selection, selection always shown, headers that do not sort.
    const LONG_PTR style = ::GetWindowLongPtrW(list.Get(), GWL_STYLE);
    ::SetWindowLongPtrW(list.Get(), GWL_STYLE,
                        (style & ~LVS_TYPEMASK) | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER);
    m_shadow = CreateShadowBrush();
    ReloadFromModel();
    UpdateButtons();
    return TRUE;
}

bool CPortPage::OnSetActive() {
    UpdateButtons();
    if (CBrowseDialog* browse = ChooserApplet().BrowseDialog(); browse != nullptr && browse->GetSafeHwnd())
        browse->PostMessage(kBrowseBindPort, static_cast<WPARAM>(m_port), reinterpret_cast<LPARAM>(this));
    return true;
}

void CPortPage::ReloadFromModel() {
    const CPort& port = m_model.m_options.Port(m_port);
    const bool redirected = port.m_bRedirected != FALSE;
    if (IsChecked(IDC_REDIRECT) != redirected) SetCheck(IDC_REDIRECT, redirected);
    m_sheet.SetPortTabImage(m_port, redirected);

    const CListView list = List();
    if (list.GetItemCount() > 0) {
        list.SetRedraw(false);
        list.DeleteAllItems();
        list.SetRedraw(true);
        list.Invalidate();
    }
    // The icon table holds as many rows as the port's table: never more.
    const auto elements = ParseRedirectionText(port.m_strServers, kIconRows);
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const RedirectionElement& e = elements[i];
        InsertRow(static_cast<int>(i), e.server, e.group, e.type, ImageOfGroup(e.group));
    }
    if (!port.m_strServers.empty()) SizeColumns();
}

void CPortPage::InsertRow(int index, const std::wstring& server, const std::wstring& group,
                          const std::wstring& type, int image) {
    const CListView list = List();
    const int row = list.InsertItem(index, server, image);
    if (row < 0) return;
    if (row < kIconRows) {
        // Later rows move down one place in the icon table.
        std::copy_backward(m_rowIcons + row, m_rowIcons + kIconRows - 1, m_rowIcons + kIconRows);
        m_rowIcons[row] = image;
    }
    list.SetItemText(row, kColumnGroup, group);
    list.SetItemText(row, kColumnType, type);
}

void CPortPage::SizeColumns() {
    const CListView list = List();
    const int rows = list.GetItemCount();
    for (int column = 0; column < 3; ++column) {
        const int titleWidth = list.GetStringWidth(list.GetColumnTitle(column));
        int widest = 0;
        for (int row = 0; row < rows; ++row)
            widest = std::max(widest, list.GetStringWidth(list.GetItemText(row, column)));
        const bool roomForIcon = column == kColumnServer && widest > titleWidth;
        list.SetColumnWidth(column, std::max(titleWidth, widest) + (roomForIcon ? kIconColumnPadding : kColumnPadding));
    }
}

void CPortPage::UpdateButtons() {
    const CListView list = List();
    const std::pair<int, bool> states[] = {
        {IDC_BROWSE_NETWORK, ChooserApplet().BrowseDialog() == nullptr},
        {IDC_REMOVE, list.GetSelectedIndex() >= 0},
        {IDC_COPY_TO, list.GetItemCount() > 0},
    };
    for (const auto& [id, enabled] : states) {
        const CButton button(m_hWnd, id);
        if (button.IsEnabled() != enabled) button.Enable(enabled);
    }
}

void CPortPage::RebuildModel() {
    COptions& options = m_model.m_options;
    CPort& port = options.Port(m_port);
    const CListView list = List();
    const int rows = std::min(list.GetItemCount(), kMaxRedirections);
    RedirectionRecord* table = options.m_redir[m_port - 1];
    std::memset(table, 0, sizeof options.m_redir[m_port - 1]);
    port.m_strServers.clear();
    const std::uint16_t transport = IsIpxTransport(options.m_strTransport) ? kTransportIpx : kTransportIp;
    for (int row = 0; row < rows; ++row) {
        const RedirectionElement element{list.GetItemText(row, kColumnServer), list.GetItemText(row, kColumnType),
                                         list.GetItemText(row, kColumnGroup)};
        port.m_strServers += FormatRedirectionElement(element, row == 0);
        RedirectionRecord& record = table[row];
        record.device.transport = transport;
        SetFieldText(record.device.typeText, element.type);
        SetFieldText(record.device.name, 48, element.server);
        SetFieldText(record.portName, element.group);
        // A server missing from the known list gets a zero address.
        if (const int known = m_model.m_devices.FindByName(element.server); known >= 0)
            std::memcpy(record.device.address, m_model.m_devices[known].m_address, sizeof record.device.address);
    }
    options.m_nRedirCount[m_port - 1] = rows;
    options.m_bModified = TRUE;
    options.MarkPortChanged(m_port);
    SetModified(true);
}

void CPortPage::MarkServers(CRedirDeviceArray& devices) const {
    const CListView list = List();
    for (int row = 0; row < list.GetItemCount(); ++row) devices.MarkByName(list.GetItemText(row, kColumnServer));
}

void CPortPage::OnRedirectClicked() {
    const bool redirected = IsChecked(IDC_REDIRECT);
    m_model.m_options.Port(m_port).m_bRedirected = redirected ? TRUE : FALSE;
    m_model.m_options.m_bModified = TRUE;
    m_model.m_options.MarkPortChanged(m_port);
    SetModified(true);
    m_sheet.SetPortTabImage(m_port, redirected);
}

void CPortPage::AddSelection(CObject* selection) {
    const CListView list = List();
    if (list.GetItemCount() >= kMaxPortRows) {
        ShowMessageBox(SheetWindow(), FormatResString(IDS_PORT_FULL, {m_port, kMaxPortRows}),
                       LoadResString(IDS_PORT_FULL_CAPTION), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (selection == nullptr) return;
    const int selected = list.GetSelectedIndex();
    const int position = selected >= 0 ? selected + 1 : list.GetItemCount();
    const CDevice* device = nullptr;
    std::wstring group;
    if (selection->IsKindOf(KVR_RUNTIME_CLASS(CDevicePort))) {
        const auto* port = static_cast<const CDevicePort*>(selection);
        group = port->m_strName;
        device = port->m_pDevice;
    } else if (selection->IsKindOf(KVR_RUNTIME_CLASS(CDevice))) {
        device = static_cast<const CDevice*>(selection);
    }
    if (device == nullptr) return;
    InsertRow(position, device->Name(), group, device->TypeText(), ImageOfGroup(group));
    SizeColumns();
    UpdateButtons();
    ::SetFocus(m_hWnd);
    RebuildModel();
}

void CPortPage::RemoveSelectedRow() {
    const CListView list = List();
    const int selected = list.GetSelectedIndex();
    if (selected < 0) return;
    list.DeleteItem(selected);
    if (selected < kIconRows) {
        std::copy(m_rowIcons + selected + 1, m_rowIcons + kIconRows, m_rowIcons + selected);
        m_rowIcons[kIconRows - 1] = 0;
    }
    RebuildModel();
    CRedirDeviceArray& devices = m_model.m_devices;
    devices.ClearMarks();
    m_sheet.MarkListedServers(devices);
    devices.DeleteUnmarked();
    UpdateButtons();
}

void CPortPage::MoveRow(int from, int to) {
    const CListView list = List();
    if (from < 0 || to < 0 || from == to || from >= list.GetItemCount()) return;
    const std::wstring server = list.GetItemText(from, kColumnServer);
    const std::wstring group = list.GetItemText(from, kColumnGroup);
    const std::wstring type = list.GetItemText(from, kColumnType);
    const int image = from < kIconRows ? m_rowIcons[from] : list.GetItemImage(from);
    list.DeleteItem(from);
    if (from < kIconRows) {
        std::copy(m_rowIcons + from + 1, m_rowIcons + kIconRows, m_rowIcons + from);
        m_rowIcons[kIconRows - 1] = 0;
    }
    InsertRow(std::min(to, list.GetItemCount()), server, group, type, image);
    RebuildModel();
}

void CPortPage::OnBrowseClicked() { OpenBrowseDialog(); }

void CPortPage::OpenBrowseDialog() {
    CChooserApplet& applet = ChooserApplet();
    if (applet.BrowseDialog() != nullptr) return;
    auto* dialog = new CBrowseDialog(m_model, m_sheet);
    applet.SetBrowseDialog(dialog);
    if (!dialog->Open(SheetWindow())) {
        // The dialog has deleted itself.
        applet.SetBrowseDialog(nullptr);
        UpdateButtons();
        return;
    }
    UpdateButtons();
    dialog->PostMessage(kBrowseBindPort, static_cast<WPARAM>(m_port), reinterpret_cast<LPARAM>(this));
}

void CPortPage::OnRemoveCommand() { RemoveSelectedRow(); }

void CPortPage::OnCopyToClicked() { CopyToAnotherPort(); }

void CPortPage::CopyToAnotherPort() {
    CCopyToDialog dialog(m_port);
    if (dialog.DoModal(SheetWindow()) != IDOK) return;
    const int destination = dialog.Destination();
    if (destination < 1 || destination > kPortCount || destination == m_port) return;
    COptions& options = m_model.m_options;
    if (!options.Port(destination).m_strServers.empty() &&
        ShowMessageBox(SheetWindow(), FormatResString(IDS_COPY_CONFIRM, {destination, destination, m_port}),
                       LoadResString(IDS_COPY_CONFIRM_CAPTION),
                       MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) != IDYES)
        return;
    options.Port(destination) = options.Port(m_port);
    options.m_nRedirCount[destination - 1] = options.m_nRedirCount[m_port - 1];
    std::memcpy(options.m_redir[destination - 1], options.m_redir[m_port - 1], sizeof options.m_redir[0]);
    options.m_bModified = TRUE;
    options.MarkPortChanged(destination);
    m_sheet.ShowReloadedPort(destination);
}

LRESULT CPortPage::OnItemChanged(NMHDR&) {
    UpdateButtons();
    return 0;
}

LRESULT CPortPage::OnListKeyDown(NMHDR& header) {
    if (reinterpret_cast<NMLVKEYDOWN&>(header).wVKey == VK_DELETE) RemoveSelectedRow();
    return 0;
}

LRESULT CPortPage::OnBeginDrag(NMHDR& header) {
    const auto& info = reinterpret_cast<NMLISTVIEW&>(header);
    if (info.iItem < 0) return 0;
    const CListView list = List();
    m_dragSource = m_dragTarget = info.iItem;
    m_dragging = true;
    ::ShowCursor(FALSE);
    ::SetCapture(m_hWnd);
    POINT origin{};
    m_dragImage.Reset(list.CreateDragImage(info.iItem, origin));
    if (m_dragImage) {
        ::ImageList_BeginDrag(m_dragImage.Get(), 0, info.ptAction.x - origin.x, info.ptAction.y - origin.y);
        ::ImageList_DragEnter(list.Get(), info.ptAction.x, info.ptAction.y);
    }
    return 0;
}

bool CPortPage::OnMouseMove(WPARAM, LPARAM lParam, LRESULT& result) {
    if (!m_dragging) return false;
    const CListView list = List();
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ::MapWindowPoints(m_hWnd, list.Get(), &point, 1);
    if (m_dragImage) ::ImageList_DragMove(point.x, point.y);
    const int target = list.HitTest(point);
    if (target >= 0 && target != m_dragTarget) {
        if (m_dragImage) ::ImageList_DragShowNolock(FALSE);
        const int top = list.GetTopIndex();
        const bool wasVisible = target >= top && target < top + list.GetCountPerPage();
        list.EnsureVisible(target);
        if (!wasVisible) {
            list.RedrawItems(list.GetTopIndex(), list.GetTopIndex() + list.GetCountPerPage());
            ::UpdateWindow(list.Get());
        }
        if (m_dragImage) ::ImageList_DragShowNolock(TRUE);
        m_dragTarget = target;
    }
    result = 0;
    return true;
}

void CPortPage::EndDrag(bool drop, POINT point) {
    const CListView list = List();
    m_dragging = false;  // first: releasing the capture comes back to us
    if (m_dragImage) {
        ::ImageList_DragLeave(list.Get());
        ::ImageList_EndDrag();
    }
    ::ReleaseCapture();
    ::ShowCursor(TRUE);
    if (drop) {
        ::MapWindowPoints(m_hWnd, list.Get(), &point, 1);
        MoveRow(m_dragSource, list.HitTest(point));
    }
    UpdateButtons();
    m_dragImage.Reset();
    m_dragSource = m_dragTarget = -1;
}

bool CPortPage::OnLButtonUp(WPARAM, LPARAM lParam, LRESULT& result) {
    if (!m_dragging) return false;
    EndDrag(true, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    result = 0;
    return true;
}

bool CPortPage::OnCaptureChanged(WPARAM, LPARAM, LRESULT& result) {
    // Losing the mouse in the middle of a drag ends it where it is.
    if (!m_dragging) return false;
    EndDrag(false, POINT{});
    result = 0;
    return true;
}

bool CPortPage::OnContextMenu(WPARAM, LPARAM lParam, LRESULT& result) {
    ShowContextMenu(ContextMenuPoint(m_hWnd, lParam));
    result = 0;
    return true;
}

void CPortPage::ShowContextMenu(POINT screen) {
    const CListView list = List();
    const RECT window = list.WindowRect();
    const int selected = list.GetSelectedIndex();
    if (!::PtInRect(&window, screen) || selected < 0) return;
    RECT row{};
    list.GetItemRect(selected, row);
    ::MapWindowPoints(list.Get(), nullptr, reinterpret_cast<POINT*>(&row), 2);
    if (!::PtInRect(&row, screen)) return;
    const UniqueMenu menu(::LoadMenuW(m_instance, MAKEINTRESOURCEW(IDM_PORT_POPUP)));
    if (menu) TrackContextMenu(menu.Get(), screen, m_hWnd);
}

bool CPortPage::OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result) {
    ShowControlPopupHelp(*reinterpret_cast<const HELPINFO*>(lParam), kHelpControls);
    result = TRUE;
    return true;
}

bool CPortPage::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    PaintDC dc(m_hWnd);
    for (int id : kShadowedControls) PaintDropShadow(dc.Get(), GetItem(id), m_shadow.Get());
    result = 0;
    return true;
}

bool CPortPage::OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result) { return TransparentStatic(wParam, result); }

bool CPortPage::OnSysColorChange(WPARAM, LPARAM, LRESULT& result) {
    m_shadow = CreateShadowBrush();
    result = 0;
    return false;  // the controls want to hear of it too
}

bool CPortPage::OnBrowseClosed(WPARAM, LPARAM, LRESULT& result) {
    UpdateButtons();
    result = 0;
    return true;
}

bool CPortPage::OnAddSelection(WPARAM, LPARAM lParam, LRESULT& result) {
    AddSelection(reinterpret_cast<CObject*>(lParam));
    result = 0;
    return true;
}

bool CPortPage::OnReload(WPARAM, LPARAM, LRESULT& result) {
    ReloadFromModel();
    UpdateButtons();
    result = 0;
    return true;
}

KVR_BEGIN_MESSAGE_MAP(CCopyToDialog, CDialog)
KVR_ON_CONTROL(LBN_SELCHANGE, IDC_COPY_LIST, OnSelectionChanged)
KVR_END_MESSAGE_MAP()

CCopyToDialog::CCopyToDialog(int source) : CDialog(ResourceModule(), IDD_COPY_TO), m_source(source) {}

BOOL CCopyToDialog::OnInitDialog() {
    SetTitle(FormatResString(IDS_COPY_TITLE, {m_source}));
    EnableItem(IDOK, false);
    const CListBox list(m_hWnd, IDC_COPY_LIST);
    for (int port = 1; port <= kPortCount; ++port) {
        if (port == m_source) continue;
        const int line = list.AddString(FormatResString(IDS_COPY_PORT, {port}));
        list.SetItemData(line, port);
    }
    return TRUE;
}

void CCopyToDialog::OnSelectionChanged() {
    EnableItem(IDOK, true);
    SendMessage(DM_SETDEFID, IDOK);
}

void CCopyToDialog::OnOK() {
    const CListBox list(m_hWnd, IDC_COPY_LIST);
    const int line = list.GetCurSel();
    m_destination = line >= 0 ? static_cast<int>(list.GetItemData(line)) : 0;
    EndDialog(IDOK);
}

}  // namespace kvr
