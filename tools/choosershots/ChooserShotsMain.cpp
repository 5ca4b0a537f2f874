// Shows each window of KVRUI.CPL in turn for scripts/screenshots.sh, with
// the SCENE conversation of tools/scenes/Scene.h. The applet runs in this
// process as its tests run it, driven by messages, against simulated devices
// on loopback whose SNMP agents answer on UDP 161.
//
//   choosershots
//       every window, one scene each, in scratch registries of this process
//   choosershots demo DEVICE ADDRESS GROUP
//       configures COM3 through the Chooser in this prefix's own registry, as
//       a user would: the running device is made a known server first, then
//       the user browses to its port group, adds it to COM3, ticks Redirect
//       and presses OK; one scene per step (make demo)
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ChooserDriver.h"
#include "ChooserRes.h"
#include "KvrBrws.h"
#include "RegistryNames.h"
#include "RegistrySnapshot.h"
#include "Scene.h"
#include "ScratchRegistry.h"
#include "SimulatedDevices.h"

namespace {

using namespace kvr::test;
using kvr::shots::Fail;
using kvr::shots::PresentScene;

constexpr DWORD kWaitMs = 30000;

const std::vector<SimDevice> kDevices = {
    {L"Harbor", L"127.0.4.11", 12, {L"modem1", L"modem2", L"Command_Shell", L"All_Ports"}, L"--snmp-version 4.5.1.128"},
    {L"Lighthouse", L"127.0.4.12", 14, {L"dialin", L"fax"}, L""},
    {L"Quay", L"127.0.4.13", 12, {L"g1", L"g2"}, L""},
    // Not among the known servers: added by its address.
    {L"Beacon", L"127.0.4.14", 14, {L"b1"}, L""},
};
constexpr wchar_t kAddedAddress[] = L"127.0.4.14";

SeedEntry Entry(const char* device, const char* group) {
    for (const SimDevice& d : kDevices) {
        if (d.name != std::wstring(device, device + std::strlen(device))) continue;
        const std::wstring type = SimulatedDevices::TypeName(d.hardware);
        SeedEntry entry{device, std::string(type.begin(), type.end()), group};
        unsigned parts[4] = {};
        std::swscanf(d.address.c_str(), L"%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
        for (int i = 0; i < 4; ++i) entry.ip[i] = static_cast<std::uint8_t>(parts[i]);
        return entry;
    }
    return SeedEntry{device, "", group};
}

// Discovery finds the known servers; the catalogue names their types.
void PrepareRegistry() {
    SimulatedDevices::WriteCatalogue();
    SimulatedDevices::SetLookupMethods(L"DeviceFile");
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"TCP/IP");
    for (const SimDevice& d : kDevices)
        if (d.address != kAddedAddress)
            SimulatedDevices::AddKnownServer(d.name, d.address, SimulatedDevices::TypeName(d.hardware));
}

bool WaitGone(HWND window) { return WaitUntil([&] { return !::IsWindow(window); }, kWaitMs); }

// A modal window opened by a command, photographed, then closed.
bool ModalScene(const ChooserRun& run, const char* name, const std::wstring& caption, int closeWith = IDCANCEL) {
    const HWND window = run.WaitForCaption(caption, kWaitMs);
    if (window == nullptr || !PresentScene(name, window)) return false;
    Answer(window, closeWith);
    return WaitGone(window);
}

bool IsDiscoveryDone(const CWPSTRUCT& message) {
    // The discovery clears the progress window's lower line once the search has answered.
    return message.message == WM_SETTEXT && ::GetDlgCtrlID(message.hwnd) == IDC_SEARCH_LOWER &&
           message.lParam != 0 && *reinterpret_cast<const wchar_t*>(message.lParam) == L'\0';
}

bool IsUpgradeHalfway(const CWPSTRUCT& message) {
    // The port step's search for the devices the old lists name begins: the
    // window shows that step at 50 percent.
    return message.message == WM_SETTEXT && ::GetDlgCtrlID(message.hwnd) == IDC_UPGRADE_STATUS &&
           message.lParam != 0 && std::wcsncmp(reinterpret_cast<const wchar_t*>(message.lParam), L"Searching", 9) == 0;
}

// A window that shows only while the applet is busy: its thread is held at
// the message while the picture is taken.
bool HeldScene(const char* name, MessagePause& pause) {
    if (!pause.WaitReached(kWaitMs)) return false;
    const bool presented = PresentScene(name, ::GetAncestor(pause.Window(), GA_ROOT), false);
    pause.Release();
    return presented;
}

const char* SheetScenes(const ChooserRun& run) {
    const HWND sheet = run.WaitForSheet(kWaitMs);
    if (sheet == nullptr) return "sheet";
    const char* pages[] = {"chooser-com1", "chooser-com2", "chooser-com3", "chooser-com4", "chooser-options"};
    for (int page = 0; page < 5; ++page) {
        SelectPage(sheet, page);
        if (!PresentScene(pages[page], sheet)) return pages[page];
    }
    const HWND options = CurrentPage(sheet);
    PostClick(options, IDC_LOGO_BUTTON);
    if (!ModalScene(run, "chooser-about", L"About Chooser", IDOK)) return "chooser-about";
    PostClick(options, IDC_ADVANCED);
    if (!ModalScene(run, "chooser-advanced", L"Advanced Options")) return "chooser-advanced";

    SelectPage(sheet, 0);
    PostClick(CurrentPage(sheet), IDC_COPY_TO);
    const HWND copy = run.WaitForCaption(L"Copy COM1: Config to...", kWaitMs);
    if (copy == nullptr) return "chooser-copy-to";
    const HWND lines = ::GetDlgItem(copy, IDC_COPY_LIST);
    ::SendMessageW(lines, LB_SETCURSEL, 1, 0);  // COM3:
    ::SendMessageW(copy, WM_COMMAND, MAKEWPARAM(IDC_COPY_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(lines));
    if (!PresentScene("chooser-copy-to", copy)) return "chooser-copy-to";
    Answer(copy, IDCANCEL);
    if (!WaitGone(copy)) return "chooser-copy-to";
    return nullptr;
}

const char* BrowseScenes(const ChooserRun& run) {
    const HWND sheet = run.WaitForSheet(kWaitMs);
    if (sheet == nullptr) return "sheet";
    SelectPage(sheet, 2);
    {
        MessagePause pause(run.ThreadId(), &IsDiscoveryDone);
        PostClick(CurrentPage(sheet), IDC_BROWSE_NETWORK);
        if (!HeldScene("chooser-searching", pause)) return "chooser-searching";
    }
    const HWND browse = run.WaitForCaption(L"Browsing Quelt Devices", kWaitMs);
    if (browse == nullptr ||
        !WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(browse, IDCANCEL)) != FALSE; }, kWaitMs))
        return "chooser-browse";
    const HWND tree = ::GetDlgItem(browse, IDC_TREE);
    const HTREEITEM harbor = OpenDevice(tree, L"Harbor", 4);
    if (harbor == nullptr || !WaitUntil([&] { return IsExpanded(tree, harbor); }, kWaitMs))
        return "chooser-browse (Harbor's port groups)";
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(FindItem(tree, harbor, L"modem1")));
    if (!PresentScene("chooser-browse", browse)) return "chooser-browse";

    // Properties act on the last object added, as they do on the context menu's.
    struct Properties {
        HTREEITEM item;
        const wchar_t* caption;
        const char* scene;
    };
    for (const Properties& p :
         {Properties{harbor, L"Harbor Properties", "chooser-device-properties"},
          Properties{FindItem(tree, harbor, L"Command_Shell"), L"Command_Shell Properties", "chooser-group-properties"}}) {
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(p.item));
        PostClick(browse, IDC_ADD_SELECTION);
        ::PostMessageW(browse, WM_COMMAND, ID_ITEM_PROPERTIES, 0);
        if (!ModalScene(run, p.scene, p.caption, IDOK)) return p.scene;
    }

    ::PostMessageW(browse, WM_COMMAND, ID_VIEW_ADD_DEVICE, 0);
    const HWND add = run.WaitForCaption(L"Add IP Device", kWaitMs);
    if (add == nullptr) return "chooser-add-device";
    ::SetDlgItemTextW(add, IDC_ADDRESS, kAddedAddress);
    PostClick(add, IDOK);
    if (!WaitUntil([&] { return WindowText(::GetDlgItem(add, IDC_ADD_STATUS)).find(L"Added") != std::wstring::npos; },
                   kWaitMs) ||
        !PresentScene("chooser-add-device", add))
        return "chooser-add-device";
    Answer(add, IDCANCEL);
    if (!WaitGone(add)) return "chooser-add-device";
    Answer(browse, IDCANCEL);
    return WaitGone(browse) ? nullptr : "chooser-browse (close)";
}

// The old product's settings that the upgrade offers to copy.
class OldProfile {
public:
    OldProfile() {
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_directory = std::wstring(temp) + L"kvr-shots-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(m_directory.c_str(), nullptr);
        std::ofstream file{std::filesystem::path(Path()), std::ios::binary};
        file << "[COMM]\r\nUsername=alice\r\nTransport=TCP/IP\r\nNarrate=1\r\n"
                "COM1Redir=1\r\nCOM1List=Harbor::modem1,Quay::g1\r\nCOM3Redir=1\r\nCOM3List=Lighthouse::\r\n";
        ::SetEnvironmentVariableW(L"QUELT", m_directory.c_str());
    }
    ~OldProfile() {
        ::SetEnvironmentVariableW(L"QUELT", nullptr);
        ::DeleteFileW(Path().c_str());
        ::RemoveDirectoryW(m_directory.c_str());
    }
    OldProfile(const OldProfile&) = delete;
    OldProfile& operator=(const OldProfile&) = delete;

private:
    std::wstring Path() const { return m_directory + L"\\QUELT.INI"; }
    std::wstring m_directory;
};

const char* UpgradeScenes(const ChooserRun& run) {
    const HWND question = run.WaitForCaption(L"Quelt Rezo-Riv Upgrade", kWaitMs);
    if (question == nullptr || !PresentScene("chooser-upgrade-question", question)) return "chooser-upgrade-question";
    {
        MessagePause pause(run.ThreadId(), &IsUpgradeHalfway);
        Answer(question, IDYES);
        if (!HeldScene("chooser-upgrade-progress", pause)) return "chooser-upgrade-progress";
    }
    return ModalScene(run, "chooser-upgrade-complete", L"Quelt Rezo-Riv Upgrade Complete") ? nullptr
                                                                                              : "chooser-upgrade-complete";
}

// Cancels the sheet after the last scene (a run that a failed scene left
// half-way is closed by ChooserRun).
const char* CloseSheet(ChooserRun& run) {
    const HWND sheet = run.WaitForSheet(kWaitMs);
    if (sheet != nullptr) Answer(sheet, IDCANCEL);
    return sheet != nullptr && run.WaitFinished(kWaitMs) ? nullptr : "the Chooser did not close";
}

int ShowEveryWindow() {
    const std::unique_ptr<SimulatedDevices> devices = SimulatedDevices::StartWhenPortFree(kDevices, kPortWaitMs);
    if (!devices->Ready()) return Fail("devices (is UDP 161 free?)");
    Applet applet;
    if (!applet) return Fail("KVRUI.CPL did not load");
    const char* failure = nullptr;
    {
        ScratchRegistry registry;
        PrepareRegistry();
        // Lists of different lengths, redirected and not.
        SeedPort(0, "COM1", true, {Entry("Harbor", "modem1"), Entry("Quay", "g1"), Entry("Lighthouse", "")});
        SeedPort(1, "COM2", false, {Entry("Harbor", "Command_Shell")});
        SeedPort(2, "COM3", false, {});
        SeedPort(3, "COM4", true,
                 {Entry("Harbor", "All_Ports"), Entry("Harbor", "modem2"), Entry("Quay", "g2"),
                  Entry("Lighthouse", "dialin"), Entry("Lighthouse", "fax"), Entry("Quay", "")});
        ChooserRun run(applet);
        failure = SheetScenes(run);
        if (failure == nullptr) failure = BrowseScenes(run);
        if (failure == nullptr) failure = CloseSheet(run);
    }
    if (failure == nullptr) {
        ScratchRegistry registry;
        PrepareRegistry();
        for (int i = 0; i < 4; ++i) SeedPort(i, ("COM" + std::to_string(i + 1)).c_str(), false, {});
        ScratchRegistry::SetDword(reg::kRezorivKey, reg::kUpgradeFlag, 1);
        const OldProfile profile;
        ChooserRun run(applet);
        failure = UpgradeScenes(run);
        if (!run.WaitFinished(kWaitMs) && failure == nullptr) failure = "the Chooser did not close";
    }
    if (failure != nullptr) return Fail(failure);
    kvr::shots::Done();
    return 0;
}

// The device as a known server, as the Chooser's Add IP Device stores it.
bool MakeKnownServer(const char* address) {
    unsigned parts[4] = {};
    if (std::sscanf(address, "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]) != 4) return false;
    std::uint8_t target[20] = {kTransportIp, 0, 0, 0, 2, 0, 0x06, 0x0D};
    for (int i = 0; i < 4; ++i) target[8 + i] = static_cast<std::uint8_t>(parts[i]);
    DeviceDetailRecord found{};
    if (HLPInitStack(kTransportIp) != 0 || HLPFindADevice(target, nullptr, &found, 0, "public") < 0) return false;
    std::printf("Known server: %s (%s) at %s\n", found.device.name, found.device.typeText, address);
    return HLPAddDeviceToServers(&found.device) == 0;
}

int ConfigureCom3(const char* deviceName, const char* address, const char* group) {
    // The Chooser's OK stores every global option as its pages show them
    // (the modem window off, no narration); the tests that share this prefix
    // rely on them as they were, so they are put back. COM3 and its known
    // server stay for the service.
    const RegistrySnapshot options(HKEY_LOCAL_MACHINE, reg::kRezorivKey);
    const RegistrySnapshot lookup(HKEY_LOCAL_MACHINE, reg::kServersKey);
    if (!MakeKnownServer(address)) return Fail("the device did not answer at its address");
    SimulatedDevices::SetLookupMethods(L"DeviceFile");
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"TCP/IP");
    for (int i = 0; i < 4; ++i)
        if (SeedPort(i, ("COM" + std::to_string(i + 1)).c_str(), false, {}) != 0) return Fail("ports as installed");
    Applet applet;
    if (!applet) return Fail("KVRUI.CPL did not load");
    const std::string device(deviceName), groupName(group);
    std::string failure;
    bool presented = true;
    {
        ChooserRun run(applet);
        int step = 0;
        failure = RedirectThroughChooser(run, std::wstring(device.begin(), device.end()),
                                         std::wstring(groupName.begin(), groupName.end()), 3,
                                         [&](const char* name, HWND window) {
                                             const std::string scene =
                                                 "demo-chooser-" + std::to_string(++step) + "-" + name;
                                             presented = PresentScene(scene.c_str(), window) && presented;
                                         });
        if (!run.WaitFinished(kWaitMs) && failure.empty()) failure = "the Chooser did not close";
    }
    if (!failure.empty()) return Fail(failure.c_str());
    if (!presented) return Fail("pictures");
    const StoredPort com3 = ReadStoredPort(2);
    if (!com3.redirected || com3.entries.size() != 1 || com3.entries[0].portName != group)
        return Fail("COM3 was not stored as chosen");
    std::printf("Stored for %s (port key Dialout2): redirected to %s, port group %s\n", com3.dosName.c_str(),
                com3.entries[0].name.c_str(), com3.entries[0].portName.c_str());
    kvr::shots::Done();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "demo") == 0) return ConfigureCom3(argv[2], argv[3], argv[4]);
    if (argc != 1) {
        std::fprintf(stderr, "usage: choosershots [demo DEVICE ADDRESS GROUP]\n");
        return 2;
    }
    return ShowEveryWindow();
}
