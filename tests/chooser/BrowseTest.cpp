// The browse dialog and the device dialogs against simulated devices on
// loopback: discovery through the known servers, port groups asked of each
// device, adds that follow the active port page, Properties, Add IP Device
// and the device description file it keeps.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChooserFixture.h"
#include "KvrBrws.h"

namespace kvr::test {
namespace {

const std::vector<SimDevice> kDevices = {
    {L"Harbor", L"127.0.0.81", 12, {L"modem1", L"modem2", L"Command_Shell", L"All_Ports"},
     L"--snmp-version 4.5.1.128"},
    // Its only port serves IPX: over TCP/IP it has no port groups.
    {L"Lighthouse", L"127.0.0.82", 14, {L"IpxOnly"}, L"--port-mask IpxOnly:2"},
    {L"Quay", L"127.0.0.83", 12, {L"g1", L"g2"}, L"--serial-table old"},
    {L"Beacon", L"127.0.0.84", 14, {L"b1"}, L""},
    {L"LocalOne", L"127.0.0.1", 12, {L"Modem"}, L""},
    // Listed as a known server, but its agent never answers.
    {L"Lantern", L"127.0.0.85", 12, {L"l1"}, L"--snmp-silent"},
};

class BrowseDevicesTest : public ChooserTest {
protected:
    static void SetUpTestSuite() { s_devices = SimulatedDevices::StartWhenPortFree(kDevices, kPortWaitMs); }
    static void TearDownTestSuite() { s_devices.reset(); }
    void SetUp() override {
        ChooserTest::SetUp();
        ASSERT_TRUE(s_devices->Ready()) << s_devices->Output();
        SimulatedDevices::WriteCatalogue();
        SimulatedDevices::SetLookupMethods(L"DeviceFile");
        ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"TCP/IP");
        for (const wchar_t* name : {L"Harbor", L"Lighthouse", L"Quay"}) {
            for (const SimDevice& d : kDevices)
                if (d.name == name)
                    SimulatedDevices::AddKnownServer(name, d.address, SimulatedDevices::TypeName(d.hardware));
        }
    }

    // The sheet and the browse dialog opened from COM1's page, with its tree.
    struct Browsing {
        HWND sheet = nullptr;
        HWND browse = nullptr;
        HWND tree = nullptr;
    };
    Browsing OpenFromFirstPort(ChooserRun& run) {
        Browsing b;
        b.sheet = run.WaitForSheet();
        if (b.sheet == nullptr) return b;
        b.browse = OpenBrowse(run, b.sheet, 1);
        if (b.browse != nullptr) b.tree = ::GetDlgItem(b.browse, IDC_TREE);
        return b;
    }

    static inline std::unique_ptr<SimulatedDevices> s_devices;
};

TEST_F(BrowseDevicesTest, ListsDevicesAndAsksEachForItsPortGroups) {
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(CurrentPage(sheet), IDC_BROWSE_NETWORK))) << "one browse dialog";
    EXPECT_EQ(L"All TCP/IP Quelt Remote Access Servers", WindowText(::GetDlgItem(browse, IDC_BROWSE_TITLE)));
    EXPECT_EQ(L"&Add Selection to COM1:", WindowText(::GetDlgItem(browse, IDC_ADD_SELECTION)));
    EXPECT_EQ(L"Double-click a server to show its port groups", StatusText(browse));
    EXPECT_EQ((std::vector<std::wstring>{L"Harbor", L"Lighthouse", L"Quay"}), ItemTexts(tree, nullptr));

    const HTREEITEM harbor = OpenDevice(tree, L"Harbor", 4);
    ASSERT_NE(nullptr, harbor) << s_devices->Output();
    EXPECT_EQ((std::vector<std::wstring>{L"All_Ports", L"Command_Shell", L"modem1", L"modem2"}),
              ItemTexts(tree, harbor));
    EXPECT_EQ(L"\"Harbor\" has 4 port groups.", StatusText(browse));
    ASSERT_TRUE(WaitUntil([&] { return IsExpanded(tree, harbor); }));
    TVITEMW image{};
    image.mask = TVIF_IMAGE;
    image.hItem = harbor;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
    EXPECT_EQ(2, image.iImage) << "an open device shows its open picture";
    struct Expected {
        const wchar_t* group;
        int image;
    };
    for (const Expected& e : {Expected{L"All_Ports", 4}, Expected{L"Command_Shell", 3}, Expected{L"modem1", 1}}) {
        image.hItem = FindItem(tree, harbor, e.group);
        ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&image));
        EXPECT_EQ(e.image, image.iImage) << e.group;
    }

    // Double-clicking it open again only closes it.
    DoubleClick(tree, harbor);
    ASSERT_TRUE(WaitUntil([&] { return !IsExpanded(tree, harbor); }));
    EXPECT_EQ(L"", StatusText(browse));

    EXPECT_NE(nullptr, OpenDevice(tree, L"Quay", 2)) << "the older port table";

    const HTREEITEM lighthouse = FindItem(tree, nullptr, L"Lighthouse");
    DoubleClick(tree, lighthouse);
    ASSERT_TRUE(WaitUntil([&] { return StatusText(browse) == L"This device has no configured port groups."; }, 30000));
    EXPECT_TRUE(ItemTexts(tree, lighthouse).empty());

    Answer(browse, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(CurrentPage(sheet), IDC_BROWSE_NETWORK)) != FALSE; }));
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

TEST_F(BrowseDevicesTest, AddsFollowTheActivePageUpToEightRows) {
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    const HTREEITEM harbor = OpenDevice(tree, L"Harbor", 4);
    ASSERT_NE(nullptr, harbor);

    const auto add = [&](HTREEITEM item) {
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
        PostClick(browse, IDC_ADD_SELECTION);
    };
    const HWND list1 = ::GetDlgItem(CurrentPage(sheet), IDC_PORT_LIST);
    add(FindItem(tree, harbor, L"modem2"));
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list1).size() == 1; }));
    add(harbor);  // the whole device
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list1).size() == 2; }));
    EXPECT_EQ((std::vector<ListRow>{{L"Harbor", L"modem2", L"Rack Unit", 1}, {L"Harbor", L"", L"Rack Unit", 0}}),
              ListRows(list1));

    // With the first row selected the next add goes after it.
    SelectRow(list1, 0);
    add(FindItem(tree, nullptr, L"Quay"));
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list1).size() == 3; }));
    EXPECT_EQ(L"Quay", ListRows(list1)[1].server);

    // The dialog follows the active page; the Options page unbinds it.
    SelectPage(sheet, 2);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(::GetDlgItem(browse, IDC_ADD_SELECTION)) == L"&Add Selection to COM3:"; }));
    const HWND list3 = ::GetDlgItem(CurrentPage(sheet), IDC_PORT_LIST);
    add(FindItem(tree, harbor, L"Command_Shell"));
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list3).size() == 1; }));
    EXPECT_EQ(3, ListRows(list3)[0].image);
    SelectPage(sheet, 4);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowEnabled(::GetDlgItem(browse, IDC_ADD_SELECTION)); }));
    SelectPage(sheet, 2);
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(browse, IDC_ADD_SELECTION)) != FALSE; }));

    for (int i = 1; i < 8; ++i) {
        add(FindItem(tree, harbor, L"modem1"));
        ASSERT_TRUE(WaitUntil([&] { return ListRows(list3).size() == static_cast<std::size_t>(i + 1); }));
    }
    add(FindItem(tree, harbor, L"modem1"));
    const HWND refusal = run.WaitForMessageBox(L"Add Device to Port Error");
    ASSERT_NE(nullptr, refusal);
    EXPECT_EQ(L"COM3: already has the maximum number\nof configurable devices (8) configured on it.\n\nYou may not "
              L"add more devices to this port\nwithout deleting some first.",
              MessageBoxText(refusal));
    Answer(refusal, IDOK);
    EXPECT_EQ(8u, ListRows(list3).size());

    Answer(browse, IDCANCEL);
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    const StoredPort com1 = ReadStoredPort(0);
    ASSERT_EQ(3u, com1.entries.size());
    EXPECT_EQ("modem2", com1.entries[0].portName);
    EXPECT_EQ("Quay", com1.entries[1].name);
    EXPECT_EQ(83, com1.entries[1].address[7]);
    EXPECT_EQ("", com1.entries[2].portName);
    EXPECT_EQ(8u, ReadStoredPort(2).entries.size());
}

TEST_F(BrowseDevicesTest, PropertiesOfADeviceAndOfAPortGroup) {
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    const HTREEITEM harbor = OpenDevice(tree, L"Harbor", 4);
    ASSERT_NE(nullptr, harbor);

    struct Case {
        HTREEITEM item;
        const wchar_t* caption;
        const wchar_t* tab;
        const wchar_t* name;
        const wchar_t* description;
    };
    const Case cases[] = {
        {harbor, L"Harbor Properties", L"Device Information", L"Harbor", L"This is a Quelt remote access device."},
        {FindItem(tree, harbor, L"Command_Shell"), L"Command_Shell Properties", L"Port Information", L"Command_Shell",
         L"This is a Command Shell port on device: 'Harbor'"},
        {FindItem(tree, harbor, L"All_Ports"), L"All_Ports Properties", L"Port Information", L"All_Ports",
         L"This is a port group on device: 'Harbor'"},
    };
    for (const Case& c : cases) {
        // The add makes the selection the context object, as the context menu does.
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(c.item));
        PostClick(browse, IDC_ADD_SELECTION);
        ::PostMessageW(browse, WM_COMMAND, ID_ITEM_PROPERTIES, 0);
        const HWND properties = run.WaitForCaption(c.caption, 30000);
        ASSERT_NE(nullptr, properties) << c.caption;
        wchar_t tab[64] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = tab;
        item.cchTextMax = 64;
        ::SendMessageW(::GetDlgItem(properties, IDC_PROPERTY_TAB), TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(c.tab, tab);
        EXPECT_EQ(c.name, WindowText(::GetDlgItem(properties, IDC_PROPERTY_NAME)));
        EXPECT_EQ(c.description, WindowText(::GetDlgItem(properties, IDC_PROPERTY_DESCRIPTION)));
        EXPECT_EQ(L"Rack Unit", WindowText(::GetDlgItem(properties, IDC_PROPERTY_TYPE)));
        EXPECT_EQ(L"127.0.0.81", WindowText(::GetDlgItem(properties, IDC_PROPERTY_ADDRESS)));
        EXPECT_EQ(L"4.5.1", WindowText(::GetDlgItem(properties, IDC_PROPERTY_VERSION)));
        EXPECT_NE(0, ::SendDlgItemMessageW(properties, IDC_PROPERTY_ICON, STM_GETICON, 0, 0));
        Answer(properties, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(properties); }));
    }
    Answer(browse, IDCANCEL);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

class AddDeviceTest : public BrowseDevicesTest {
protected:
    void SetUp() override {
        BrowseDevicesTest::SetUp();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_directory = std::wstring(temp) + L"kvr-chooser-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(m_directory.c_str(), nullptr);
        ::DeleteFileW(DeviceFile().c_str());
        // A trailing "\" names the same directory.
        ::SetEnvironmentVariableW(L"QUELT", (m_directory + L"\\").c_str());
        ScratchRegistry::SetString(reg::kServersKey, reg::kDeviceFile, DeviceFile());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"QUELT", nullptr);
        ::DeleteFileW(DeviceFile().c_str());
        ::RemoveDirectoryW(m_directory.c_str());
    }
    std::wstring DeviceFile() const { return m_directory + L"\\ZDX.DEV"; }

    // Add IP Device, opened from the browse dialog's menu.
    static HWND OpenAddIpDevice(ChooserRun& run, HWND browse) {
        ::PostMessageW(browse, WM_COMMAND, ID_VIEW_ADD_DEVICE, 0);
        return run.WaitForCaption(L"Add IP Device");
    }

    // Types the text into Add IP Device and presses Add; the status line after.
    static std::wstring AddByText(HWND dialog, const std::wstring& text) {
        ::SetDlgItemTextW(dialog, IDC_ADDRESS, text.c_str());
        ::SetDlgItemTextW(dialog, IDC_ADD_STATUS, L"-");  // the add clears it first
        PostClick(dialog, IDOK);
        std::wstring status;
        WaitUntil([&] {
            status = WindowText(::GetDlgItem(dialog, IDC_ADD_STATUS));
            return status.find(L"Added") != std::wstring::npos;
        }, 30000);
        return status;
    }

    std::wstring m_directory;
};

TEST_F(AddDeviceTest, ByAddressAndByNameStoredAndWrittenToTheDeviceFile) {
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    const HWND dialog = OpenAddIpDevice(run, browse);
    ASSERT_NE(nullptr, dialog);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));

    // Refused before anything goes on the network.
    for (const wchar_t* bad : {L"127.0.0.", L"127.0.0.300", L"0127.0.0.1"}) {
        ::SetDlgItemTextW(dialog, IDC_ADDRESS, bad);
        PostClick(dialog, IDOK);
        const HWND box = run.WaitForMessageBox(L"Add Device Error");
        ASSERT_NE(nullptr, box) << bad;
        EXPECT_EQ(L"The IP Address that you entered is invalid.\nPlease try again.", MessageBoxText(box));
        Answer(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return run.WaitForMessageBox(L"Add Device Error", 0) == nullptr; }));
    }

    EXPECT_EQ(L"'127.0.0.84' Added", AddByText(dialog, L"127.0.0.84"));
    EXPECT_EQ(L"", WindowText(::GetDlgItem(dialog, IDC_ADDRESS)));
    EXPECT_EQ(L"'127.0.0.84' Already Added", AddByText(dialog, L"127.0.0.84"));
    EXPECT_EQ(L"'localhost' Added", AddByText(dialog, L"localhost"));
    Answer(dialog, IDCANCEL);

    // OK from the dialog: the tree is rebuilt with the added devices.
    ASSERT_TRUE(WaitUntil([&] { return ItemTexts(tree, nullptr).size() == 5; }));
    EXPECT_EQ((std::vector<std::wstring>{L"Beacon", L"Harbor", L"Lighthouse", L"LocalOne", L"Quay"}),
              ItemTexts(tree, nullptr));
    Answer(browse, IDCANCEL);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());

    // Stored among the known servers at once, with the server port 1549.
    std::uint8_t address[16] = {};
    ASSERT_TRUE(ScratchRegistry::Open(std::wstring(reg::kTcpServersKey) + L"\\Beacon").ReadBytes(reg::kAddress, address, 16));
    EXPECT_EQ(0x06, address[2]);
    EXPECT_EQ(0x0D, address[3]);
    EXPECT_EQ(84, address[7]);

    // The device file: one section for Beacon, its version starting with the major number.
    std::ifstream file{std::filesystem::path(DeviceFile())};
    std::stringstream text;
    text << file.rdbuf();
    const std::string contents = text.str();
    EXPECT_NE(std::string::npos, contents.find("[00005400007F]")) << contents;
    EXPECT_NE(std::string::npos, contents.find("Name=Beacon")) << contents;
    EXPECT_NE(std::string::npos, contents.find("IPAddress=127.0.0.84")) << contents;
    EXPECT_NE(std::string::npos, contents.find("Type=Remote Hub")) << contents;
    EXPECT_NE(std::string::npos, contents.find("Version=4.0.0 2")) << contents;

    // Found again by the device-file search alone.
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, reg::kTcpServersKey);
    ASSERT_EQ(0, HLPInitStack(kTransportIp));
    std::vector<DeviceRecord> found(16);
    WORD count = 0;
    ASSERT_EQ(0, HLPFindDevices(kTransportIp, 1, "*", "*", found.data(), static_cast<WORD>(found.size() * sizeof(DeviceRecord)),
                                &count, nullptr, 3, nullptr));
    bool beacon = false;
    for (WORD i = 0; i < count; ++i) beacon = beacon || std::strcmp(found[i].name, "Beacon") == 0;
    EXPECT_TRUE(beacon);
}

// A device file that cannot be written never costs the user the device.
TEST_F(AddDeviceTest, AnUnwritableDeviceFileStillAddsTheDevice) {
    const std::wstring missing = m_directory + L"\\missing";
    ::SetEnvironmentVariableW(L"QUELT", missing.c_str());
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    const HWND dialog = OpenAddIpDevice(run, browse);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"'127.0.0.84' Added", AddByText(dialog, L"127.0.0.84"));
    Answer(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return ItemTexts(tree, nullptr).size() == 4; }));
    Answer(browse, IDCANCEL);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_TRUE(ScratchRegistry::Open(std::wstring(reg::kTcpServersKey) + L"\\Beacon"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(missing.c_str()));
}

TEST_F(BrowseDevicesTest, FailedRefreshLeavesAnEmptyTreeAndNoClose) {
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    // A known server without its type ends a search with -8.
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, (std::wstring(reg::kTcpServersKey) + L"\\Quay").c_str(), reg::kDeviceType);
    ::PostMessageW(browse, WM_COMMAND, ID_VIEW_REFRESH, 0);
    const HWND box = run.WaitForMessageBox(L"Device Discovery Failed", 30000);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"(-8)"));
    Answer(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return run.WaitForMessageBox(L"Device Discovery Failed", 0) == nullptr; }));
    EXPECT_TRUE(ItemTexts(tree, nullptr).empty());
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(browse, IDCANCEL)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(browse, IDC_ADD_SELECTION)));
    Answer(browse, IDCANCEL);  // the View menu's Close
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

TEST_F(BrowseDevicesTest, ADeviceThatStopsAnsweringIsReportedAndTheBrowseGoesOn) {
    SimulatedDevices::AddKnownServer(L"Lantern", L"127.0.0.85", SimulatedDevices::TypeName(12));
    ChooserRun run(m_applet);
    const auto [sheet, browse, tree] = OpenFromFirstPort(run);
    ASSERT_NE(nullptr, browse);
    const HTREEITEM lantern = FindItem(tree, nullptr, L"Lantern");
    ASSERT_NE(nullptr, lantern);
    DoubleClick(tree, lantern);
    const HWND box = run.WaitForMessageBox(L"Device Port Enumeration Failed", 30000);
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"could not be found on the network")) << MessageBoxText(box);
    Answer(box, IDOK);
    EXPECT_TRUE(ItemTexts(tree, lantern).empty());
    EXPECT_EQ(L"", StatusText(browse));

    // The other devices still browse, and the silent one can be asked again.
    EXPECT_NE(nullptr, OpenDevice(tree, L"Harbor", 4));
    EXPECT_NE(nullptr, FindItem(tree, nullptr, L"Lantern"));
    Answer(browse, IDCANCEL);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

}  // namespace
}  // namespace kvr::test
