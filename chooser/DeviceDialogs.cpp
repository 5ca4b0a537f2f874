#include "DeviceDialogs.h"

#include <cstring>

#include "Application.h"
#include "ChooserApp.h"
#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "Controls.h"
#include "DeviceFileWriter.h"
#include "DeviceList.h"
#include "DeviceText.h"
#include "ErrorTexts.h"
#include "KvrBrws.h"
#include "RegistryInfo.h"
#include "Resources.h"
#include "WindowDecor.h"

namespace kvr {

namespace {

constexpr WORD kServerInfoTimeoutSeconds = 5;
constexpr std::size_t kTypedChars = 64;
constexpr std::size_t kReadChars = 128;
constexpr std::size_t kHostNameBytes = 65;
constexpr int kFindAttempts = 3;
constexpr DWORD kFindRetryMs = 500;
constexpr char kCommunity[] = "public";

}  // namespace

KVR_BEGIN_MESSAGE_MAP(CDevicePropertyDialog, CDialog)
KVR_ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorStatic)
KVR_END_MESSAGE_MAP()

CDevicePropertyDialog::CDevicePropertyDialog(CObject& object, HICON icon)
    : CDialog(ResourceModule(), IDD_DEVICE_PROPERTIES), m_object(object), m_icon(icon) {}

BOOL CDevicePropertyDialog::OnInitDialog() {
    const CDevicePort* group = m_object.IsKindOf(KVR_RUNTIME_CLASS(CDevicePort))
                                   ? static_cast<const CDevicePort*>(&m_object)
                                   : nullptr;
    const CDevice& device = group ? *group->m_pDevice : static_cast<const CDevice&>(m_object);
    const std::wstring name = group ? group->m_strName : device.Name();
    SetTitle(FormatResString(IDS_PROPERTIES_CAPTION, {name}));
    CTabCtrl(m_hWnd, IDC_PROPERTY_TAB).InsertItem(0, LoadResString(group ? IDS_PORT_INFORMATION : IDS_DEVICE_INFORMATION));
    SendDlgItemMessageW(m_hWnd, IDC_PROPERTY_ICON, STM_SETICON, reinterpret_cast<WPARAM>(m_icon), 0);
    SetItemText(IDC_PROPERTY_NAME, name);
    if (group) {
        const UINT kind = PortGroupKind(group->m_strName) == kImageCommandShell ? IDS_KIND_COMMAND_SHELL
                                                                                 : IDS_KIND_PORT_GROUP;
        SetItemText(IDC_PROPERTY_DESCRIPTION, FormatResString(IDS_GROUP_DESCRIPTION, {LoadResString(kind), device.Name()}));
    } else {
        SetItemText(IDC_PROPERTY_DESCRIPTION, LoadResString(IDS_DEVICE_DESCRIPTION));
    }
    SetItemText(IDC_PROPERTY_TYPE, device.TypeText());
    SetItemText(IDC_PROPERTY_ADDRESS, FormatDeviceAddress(device.Record()));
    StackSession session;
    if (session.Attach(device.Transport()) == 0) {
        ServerInfo info;
        SetItemText(IDC_PROPERTY_VERSION,
                    session.GetServerInfo(device.Address(), info, kServerInfoTimeoutSeconds) == 0
                        ? FormatDeviceVersion(info.version)
                        : LoadResString(IDS_VERSION_UNKNOWN));
    }
    return TRUE;
}

// The texts stand on the tab's page, which a visual style paints lighter than
// the dialog around it.
bool CDevicePropertyDialog::OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result) {
    return TransparentStatic(wParam, result);
}

DeviceTarget ClassifyDeviceTarget(const std::wstring& typed) {
    const std::wstring text = typed.substr(0, kTypedChars);
    DeviceTarget target;
    const bool digitsAndDots = text.find_first_not_of(L"0123456789.") == std::wstring::npos;
    std::size_t dots = 0;
    for (wchar_t c : text) dots += c == L'.';
    if (!digitsAndDots || dots != 3) {
        target.kind = DeviceTarget::Kind::HostName;
        target.hostName = text;
        return target;
    }
    // Four parts of one to three digits, each 0..255.
    std::size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t end = part < 3 ? text.find(L'.', start) : text.size();
        const std::wstring digits = text.substr(start, end - start);
        if (digits.empty() || digits.size() > 3) return target;
        const int value = std::stoi(digits);
        if (value > 255) return target;
        target.address[part] = static_cast<std::uint8_t>(value);
        start = end + 1;
    }
    target.kind = DeviceTarget::Kind::Address;
    return target;
}

KVR_BEGIN_MESSAGE_MAP(CAddIPDeviceDialog, CDialog)
KVR_ON_CONTROL(EN_CHANGE, IDC_ADDRESS, OnTextChanged)
KVR_ON_MESSAGE(WM_HELP, OnHelpRequest)
KVR_END_MESSAGE_MAP()

CAddIPDeviceDialog::CAddIPDeviceDialog(CRegistryInfo& model)
    : CDialog(ResourceModule(), IDD_ADD_IP_DEVICE), m_model(model) {}

BOOL CAddIPDeviceDialog::OnInitDialog() {
    EnableItem(IDOK, false);
    SetItemText(IDC_ADD_STATUS, std::wstring());
    return TRUE;
}

void CAddIPDeviceDialog::OnTextChanged() {
    // Nothing typed is nothing to add.
    EnableItem(IDOK, ::GetWindowTextLengthW(GetItem(IDC_ADDRESS)) > 0);
}

bool CAddIPDeviceDialog::OnHelpRequest(WPARAM, LPARAM, LRESULT& result) {
    ChooserApp().WinHelp(m_hWnd, HELP_CONTEXT, kHelpResourceBase + IDD_ADD_IP_DEVICE);
    result = TRUE;
    return true;
}

void CAddIPDeviceDialog::Warn(const std::wstring& text) {
    ShowMessageBox(m_hWnd, text, LoadResString(IDS_ADD_DEVICE_ERROR), MB_OK | MB_ICONWARNING);
}

void CAddIPDeviceDialog::ReadyForInput(bool addEnabled) {
    EnableItem(IDOK, addEnabled);
    EnableItem(IDCANCEL, true);
}

void CAddIPDeviceDialog::OnOK() {
    if (!::IsWindowEnabled(GetItem(IDOK))) return;  // Enter while there is nothing to add
    EnableItem(IDOK, false);
    EnableItem(IDCANCEL, false);
    SetItemText(IDC_ADD_STATUS, std::wstring());
    std::wstring typed = GetItemText(IDC_ADDRESS).substr(0, kReadChars).substr(0, kTypedChars);
    const DeviceTarget target = ClassifyDeviceTarget(typed);
    if (target.kind == DeviceTarget::Kind::Invalid) {
        Warn(LoadResString(IDS_INVALID_ADDRESS));
        ReadyForInput(true);
        return;
    }
    StackSession session;
    if (session.Attach(kTransportIp) != 0) {
        Warn(LoadResString(IDS_NO_LIBRARY) + session.ErrorText());
        EnableItem(IDCANCEL, true);
        EnableItem(IDOK, false);
        SetItemText(IDC_ADDRESS, std::wstring());
        return;
    }
    HlpAddress address;
    char hostName[kHostNameBytes] = {};
    if (target.kind == DeviceTarget::Kind::Address) {
        const std::uint16_t transport = kTransportIp, family = 2;
        std::memcpy(address.bytes, &transport, 2);
        std::memcpy(address.bytes + 4, &family, 2);
        // The server's port in network byte order, as every stored address holds it.
        address.bytes[6] = static_cast<std::uint8_t>(kDiscoveredServerTcpPort >> 8);
        address.bytes[7] = static_cast<std::uint8_t>(kDiscoveredServerTcpPort & 0xFF);
        std::memcpy(address.bytes + 8, target.address, 4);
    } else {
        SetFieldText(hostName, sizeof hostName, target.hostName);
    }
    SetItemText(IDC_ADD_STATUS, LoadResString(IDS_ADD_SEARCHING));
    ::UpdateWindow(GetItem(IDC_ADD_STATUS));
    DeviceDetailRecord found{};
    LONG result = 0;
    for (int attempt = 0; attempt < kFindAttempts; ++attempt) {
        if (attempt > 0) ::Sleep(kFindRetryMs);
        std::memset(&found, 0, sizeof found);
        CWaitCursor wait;
        result = HLPFindADevice(target.kind == DeviceTarget::Kind::Address ? address.bytes : nullptr,
                                target.kind == DeviceTarget::Kind::HostName ? hostName : nullptr, &found, 0,
                                kCommunity);
        if (result != kHlpOutOfMemory) break;
    }
    SetItemText(IDC_ADD_STATUS, std::wstring());
    if (result < 0) {
        Warn(LibraryErrorText(result));
        ReadyForInput(true);
        return;
    }
    FinishAdd(found, typed);
}

void CAddIPDeviceDialog::FinishAdd(const DeviceDetailRecord& found, const std::wstring& typed) {
    CDeviceList& list = DeviceList();
    DeviceRecord* record = list.TakeFreeRecord();
    if (record == nullptr) {
        const std::wstring text = LoadResString(IDS_NO_SPACE);
        ShowMessageBox(m_hWnd, text, text, MB_OK);
        OnCancel();
        return;
    }
    record->transport = found.device.transport;
    std::memcpy(record->typeText, found.device.typeText, sizeof record->typeText);
    record->typeText[sizeof record->typeText - 1] = '\0';
    std::memcpy(record->name, found.device.name, sizeof record->name);
    record->name[sizeof record->name - 1] = '\0';
    std::memcpy(record->address, found.device.address, sizeof record->address);
    if (HLPAddDeviceToServers(record) != 0) {
        list.ReleaseLastRecord();
        ReadyForInput(true);
        return;
    }
    auto device = std::make_unique<CDevice>(*record);
    if (!list.ContainsEqual(*device)) {
        list.Append(std::move(device));
        WriteDeviceSection(OpenDeviceFile(), found);
        m_added = true;
        SetItemText(IDC_ADD_STATUS, FormatResString(IDS_ADDED, {typed}));
        EnableItem(IDCANCEL, true);
        EnableItem(IDOK, false);
        SetItemText(IDC_ADDRESS, std::wstring());
        return;
    }
    device.reset();
    list.ReleaseLastRecord();
    SetItemText(IDC_ADD_STATUS, FormatResString(IDS_ALREADY_ADDED, {typed}));
    ReadyForInput(true);
}

void CAddIPDeviceDialog::OnCancel() { EndDialog(m_added ? IDOK : IDCANCEL); }

}  // namespace kvr
