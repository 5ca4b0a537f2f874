#include "Upgrade.h"

#include <cstring>
#include <vector>

#include "ChooserApp.h"
#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "Controls.h"
#include "DeviceList.h"
#include "DeviceText.h"
#include "Handles.h"
#include "NetworkCheck.h"
#include "QueltDirectory.h"
#include "RedirectionText.h"
#include "Registry.h"
#include "RegistryInfo.h"
#include "RegistryNames.h"
#include "Resources.h"

namespace kvr {

namespace {

constexpr std::size_t kUsernameChars = 508;
constexpr std::size_t kUsernameKept = 31;  // what the configuration holds
constexpr std::size_t kSplitterChars = 127;  // the longest list the old splitter took whole
constexpr DWORD kStepPauseMs = 1500;
constexpr wchar_t kModemsCommand[] = L"RUNDLL32.EXE SHELL32.DLL,Control_RunDLL MODEM.CPL";
constexpr wchar_t kTrademarkSign[] = L"\u00E4";

bool IsSet(long value) { return value != 0 && value != kOldMissing; }

std::string PortKey(int port, const char* suffix) { return "COM" + std::to_string(port) + suffix; }

// Waits while the windows of this thread keep painting.
void PauseWithMessages(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
}

// The whole settings file, or nothing when it cannot be read.
bool ReadProfile(const std::wstring& path, std::string& bytes) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    bytes.assign(kMaxProfileBytes, '\0');
    DWORD got = 0;
    if (!::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return false;
    bytes.resize(got);
    return true;
}

std::wstring ProfilePath() {
    const std::wstring directory = QueltDirectory();
    return directory.empty() ? std::wstring() : directory + L"\\" + LoadResString(IDS_OLD_PROFILE);
}

}  // namespace

CUpgrade::CUpgrade(CRegistryInfo& model) : m_pRegistryInfo(&model) {}

CUpgrade::~CUpgrade() { CloseProgress(); }

bool CUpgrade::SetFlag(DWORD value) {
    const RegKey key = RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey);
    return key && key.WriteDword(reg::kUpgradeFlag, value);
}

bool CUpgrade::HasOldSettings(const ProfileSection& settings) { return kvr::HasOldSettings(settings); }

bool CUpgrade::Run() {
    {
        const RegKey key = RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey);
        const auto flag = key ? key.ReadDword(reg::kUpgradeFlag) : std::nullopt;
        if (!flag || *flag == 0) return false;
    }
    // Without the old settings no question can be asked: the sheet opens as
    // usual, and the upgrade waits until they can be read.
    m_strIniPath = ProfilePath();
    std::string bytes;
    if (m_strIniPath.empty() || !ReadProfile(m_strIniPath, bytes)) {
        m_strIniPath.clear();
        return false;
    }
    const ProfileSection settings = ProfileSection::Parse(bytes, kOldSettingsSection);
    const COptions& options = m_pRegistryInfo->m_options;
    if (!options.m_strUsername.empty() || !options.IsEmpty() || !HasOldSettings(settings)) {
        // Nothing to offer; this opening goes on to the sheet.
        SetFlag(0);
        return false;
    }
    const INT_PTR answer = CUpgradeDlg().DoModal(ChooserApp().MainWindow());
    if (answer != IDCANCEL) SetFlag(0);
    if (answer != IDYES) return true;

    m_progress = new CUpgradeProgressDlg;
    if (!m_progress->Create(nullptr)) {
        delete m_progress;
        m_progress = nullptr;
    } else {
        ::ShowWindow(m_progress->GetSafeHwnd(), SW_SHOW);
    }
    bool upgraded = false;
    SetProgress(IDS_UPGRADE_OPTIONS, 25);
    if (UpgradeOptions(settings)) {
        PauseWithMessages(kStepPauseMs);
        SetProgress(IDS_UPGRADE_PORTS, 50);
        if (UpgradePorts(settings)) {
            SetProgress(IDS_UPGRADE_REGISTRY, 75);
            upgraded = m_pRegistryInfo->SaveIfModified(m_progress ? m_progress->GetSafeHwnd() : nullptr);
        }
    }
    if (!upgraded) {
        // It can be tried again at the next opening.
        SetFlag(1);
        CloseProgress();
        return true;
    }
    PauseWithMessages(kStepPauseMs);
    SetProgress(IDS_UPGRADE_COMPLETE, 100);
    PauseWithMessages(kStepPauseMs);
    CloseProgress();
    if (CUpgradeCompleteDlg(*m_pRegistryInfo).DoModal(nullptr) == IDOK) {
        std::wstring command = kModemsCommand;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION process{};
        if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process)) {
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
    }
    return true;
}

void CUpgrade::SetProgress(UINT status, int percent) {
    if (m_progress != nullptr) m_progress->SetStatus(LoadResString(status), percent);
}

void CUpgrade::CloseProgress() {
    if (m_progress == nullptr) return;
    m_progress->DestroyWindow();
    delete m_progress;
    m_progress = nullptr;
}

bool CUpgrade::UpgradeOptions(const ProfileSection& settings) {
    COptions& options = m_pRegistryInfo->m_options;
    options.m_bModified = TRUE;
    const std::wstring username = FromAnsi(settings.Text("Username", kUsernameChars));
    if (!username.empty()) options.m_strUsername = username.substr(0, kUsernameKept);
    const std::wstring transport = FromAnsi(settings.Text("Transport", kOldListChars));
    std::wstring wanted;
    if (transport.empty())
        options.m_strTransport = DefaultTransport();
    else if (SameText(transport, kNetworkTcpIp))
        wanted = kNetworkTcpIp;
    else if (SameText(transport, kNetworkIpxSpx))
        wanted = kNetworkIpx;
    if (!wanted.empty()) {
        options.m_strTransport = wanted;
        const bool ipx = wanted == kNetworkIpx;
        if (!IsTransportAvailable(ipx ? kFamilyIpx : kFamilyIp)) {
            const wchar_t* name = ipx ? kNetworkIpxSpx : kNetworkTcpIp;
            ShowMessageBox(nullptr, FormatResString(IDS_UPGRADE_TRANSPORT_MISSING, {name, name}),
                           LoadResString(IDS_UPGRADE_ERROR), MB_OK | MB_ICONERROR);
            return false;
        }
    }
    options.m_bNarrate = IsSet(settings.Integer("Narrate", kOldMissing)) ? TRUE : FALSE;
    return true;
}

bool CUpgrade::UpgradePorts(const ProfileSection& settings) {
    COptions& options = m_pRegistryInfo->m_options;
    if (DeviceList().IsEmpty()) {
        if (m_progress != nullptr) {
            m_progress->SetStatus(FormatResString(IDS_SEARCHING_FOR, {options.m_strTransport}), -1);
            m_progress->Step();
        }
        if (!DiscoverDevices(m_progress ? m_progress->GetSafeHwnd() : nullptr, false, options)) return false;
    }
    for (int port = 1; port <= kPortCount; ++port) {
        CPort& target = options.Port(port);
        target.m_bRedirected = FALSE;
        target.m_strServers.clear();
        options.m_nRedirCount[port - 1] = 0;
        std::memset(options.m_redir[port - 1], 0, sizeof options.m_redir[0]);
        options.MarkPortChanged(port);
        if (IsSet(settings.Integer(PortKey(port, "Redir"), kOldMissing))) target.m_bRedirected = TRUE;
        const std::string stored = settings.Text(PortKey(port, "List"), kOldListChars);
        const std::string_view list = TrimText(stored);
        if (list.empty()) continue;
        const auto invalid = [port] {
            ShowMessageBox(nullptr, FormatResString(IDS_UPGRADE_PORT_INVALID, {port}),
                           LoadResString(IDS_UPGRADE_WARNING), MB_OK | MB_ICONWARNING);
        };
        // The old splitter took 127 characters: a longer list would be
        // converted from a cut item.
        if (list.size() > kSplitterChars) {
            invalid();
            continue;
        }
        for (const std::string_view item : SplitText(list, ',')) {
            if (options.m_nRedirCount[port - 1] >= kMaxRedirections) {
                invalid();  // the entries past the table's 25 are left out
                break;
            }
            const auto fields = SplitText(item, ':');
            if (fields.size() != 3 || !UpgradeEntry(std::string(fields[0]), std::string(fields[2]), port)) {
                invalid();
                break;
            }
        }
    }
    return true;
}

bool CUpgrade::UpgradeEntry(const std::string& nameField, const std::string& groupField, int port) {
    COptions& options = m_pRegistryInfo->m_options;
    const std::wstring name = FromAnsi(nameField);
    const std::wstring group = FromAnsi(groupField);
    CDevice* device = DeviceList().FindByName(name);
    if (name.empty() || device == nullptr) return false;
    if (!group.empty() && (EnumeratePortGroups(*device) != 0 || device->FindPort(group) == nullptr)) return false;

    CRedirDeviceArray& known = m_pRegistryInfo->m_devices;
    if (const int index = known.FindByName(device->Name()); index >= 0) known.RemoveAt(index);
    known.Add(CRedirDevice::FromRecord(device->Record()));
    known.m_bModified = TRUE;

    CPort& target = options.Port(port);
    const RedirectionElement element{name, FieldText(device->Record().typeCode), group};
    target.m_strServers += FormatRedirectionElement(element, target.m_strServers.empty());
    LONG& count = options.m_nRedirCount[port - 1];
    RedirectionRecord& entry = options.m_redir[port - 1][count++];
    std::memset(&entry, 0, sizeof entry);
    entry.device = device->Record();
    SetFieldText(entry.portName, group);
    options.m_bModified = TRUE;
    return true;
}

KVR_BEGIN_MESSAGE_MAP(CLogoDialog, CDialog)
KVR_ON_MESSAGE(WM_PAINT, OnPaint)
KVR_END_MESSAGE_MAP()

CLogoDialog::CLogoDialog(UINT templateId, int pictureId)
    : CDialog(ResourceModule(), templateId), m_pictureId(pictureId) {}

BOOL CLogoDialog::OnInitDialog() {
    m_logo.Reset(static_cast<HBITMAP>(::LoadImageW(m_instance, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, 0)));
    return TRUE;
}

bool CLogoDialog::OnPaint(WPARAM, LPARAM, LRESULT& result) {
    PaintDC dc(m_hWnd);
    RECT picture;
    ::GetWindowRect(GetItem(m_pictureId), &picture);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&picture), 2);
    DrawTransparentBitmap(dc.Get(), m_logo.Get(), picture.left, picture.top, kTransparentRed);
    result = 0;
    return true;
}

CUpgradeDlg::CUpgradeDlg() : CLogoDialog(IDD_UPGRADE, IDC_UPGRADE_QUESTION_PICTURE) {}

INT_PTR CUpgradeDlg::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && (LOWORD(wParam) == IDYES || LOWORD(wParam) == IDNO) && HIWORD(wParam) == BN_CLICKED) {
        EndDialog(LOWORD(wParam));
        return TRUE;
    }
    return CLogoDialog::Dispatch(message, wParam, lParam);
}

CUpgradeProgressDlg::CUpgradeProgressDlg() : CLogoDialog(IDD_UPGRADE_PROGRESS, IDC_UPGRADE_PICTURE) {}

BOOL CUpgradeProgressDlg::OnInitDialog() {
    CLogoDialog::OnInitDialog();
    m_symbolFont = CreatePointFont(m_hWnd, 10, L"Symbol", SYMBOL_CHARSET);
    SetItemText(IDC_UPGRADE_TRADEMARK, kTrademarkSign);
    SendDlgItemMessageW(m_hWnd, IDC_UPGRADE_TRADEMARK, WM_SETFONT, reinterpret_cast<WPARAM>(m_symbolFont.Get()),
                        TRUE);
    CProgressBar(m_hWnd, IDC_UPGRADE_PROGRESS).SetRange(0, 100);
    return TRUE;
}

void CUpgradeProgressDlg::SetStatus(const std::wstring& text, int percent) {
    SetItemText(IDC_UPGRADE_STATUS, text);
    if (percent >= 0) CProgressBar(m_hWnd, IDC_UPGRADE_PROGRESS).SetPos(percent);
    ::UpdateWindow(m_hWnd);
}

void CUpgradeProgressDlg::Step() { CProgressBar(m_hWnd, IDC_UPGRADE_PROGRESS).StepIt(); }

CUpgradeCompleteDlg::CUpgradeCompleteDlg(const CRegistryInfo& model)
    : CLogoDialog(IDD_UPGRADE_COMPLETE, IDC_UPGRADE_COMPLETE_PICTURE), m_model(model) {}

BOOL CUpgradeCompleteDlg::OnInitDialog() {
    CLogoDialog::OnInitDialog();
    const CListBox list(m_hWnd, IDC_REDIRECTED_PORTS);
    for (int port = 1; port <= kPortCount; ++port)
        if (m_model.m_options.m_port[port - 1].m_bRedirected) list.AddString(FormatText(L"COM%d", {port}));
    if (list.GetCount() == 0) {
        list.AddString(LoadResString(IDS_NONE));
        EnableItem(IDOK, false);
    }
    return TRUE;
}

}  // namespace kvr
