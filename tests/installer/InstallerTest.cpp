// The workstation set-up as a user runs it, in a Wine prefix of its own
// (scripts/installer-tests.sh makes it and starts its wineserver): install,
// dial out through the installed service, upgrade in place, uninstall with and
// without the configuration, and the failures a user can meet.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Handles.h"
#include "KvrBrws.h"
#include "KvrVersion.h"
#include "Registry.h"
#include "RegistryNames.h"
#include "SetupProgram.h"

namespace {

using setuptest::DefaultInstallDir;
using setuptest::SetupProgram;
using setuptest::SystemDir;

constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QueltRezoRiv";
constexpr wchar_t kEnvironmentKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr wchar_t kQueltKey[] = L"SOFTWARE\\Quelt";
constexpr DWORD kSetupTimeoutMs = 120000;
// The simulated device's own loopback address: nothing else here uses it.
constexpr char kDeviceAddress[] = "127.0.0.93";
// A device the user added by address, as the Chooser records it.
constexpr char kDeviceFileText[] = "[00005D00007F]\r\nName=Harbor\r\nIPAddress=127.0.0.93\r\n";

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::wstring SetupPath() {
    std::wstring path = Widen(KVR_SETUP_EXE);
    for (auto& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool KeyExists(const std::wstring& path) { return static_cast<bool>(kvr::RegKey::Open(HKEY_LOCAL_MACHINE, path.c_str())); }

std::optional<std::wstring> MachineText(const std::wstring& key, const wchar_t* name) {
    return kvr::RegKey::Open(HKEY_LOCAL_MACHINE, key.c_str()).ReadText(name);
}

std::optional<DWORD> MachineDword(const std::wstring& key, const wchar_t* name) {
    return kvr::RegKey::Open(HKEY_LOCAL_MACHINE, key.c_str()).ReadDword(name);
}

std::wstring PortKey(int index) {
    return std::wstring(reg::kPortsKey) + L"\\" + reg::kPortKeyPrefix + std::to_wstring(index);
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteAll(const std::wstring& path, const std::string& content) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary);
    file << content;
}

// The "FileVersion" text of a binary's version resource.
std::wstring FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    std::vector<BYTE> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    if (data.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()))
        return L"";
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\FileVersion", reinterpret_cast<void**>(&text),
                        &length))
        return L"";
    return std::wstring(text);
}

struct ServiceFacts {
    bool registered = false;
    DWORD state = 0;
    std::wstring imagePath;
};

ServiceFacts QueryService() {
    ServiceFacts facts;
    kvr::UniqueScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    kvr::UniqueScHandle service(OpenServiceW(manager.Get(), L"kvrsvc", SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG));
    if (!service) return facts;
    facts.registered = true;
    SERVICE_STATUS status{};
    if (QueryServiceStatus(service.Get(), &status)) facts.state = status.dwCurrentState;
    BYTE buffer[8192];
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    if (QueryServiceConfigW(service.Get(), config, sizeof(buffer), &needed)) facts.imagePath = config->lpBinaryPathName;
    return facts;
}

// The string values of a REGEDIT4 file, by "key\name" (enough for the
// catalogue, which holds nothing else).
std::map<std::wstring, std::wstring> RegFileStrings(const std::string& path) {
    std::map<std::wstring, std::wstring> values;
    std::ifstream file(path);
    std::string line, key;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 2 && line.front() == '[') {
            key = line.substr(1, line.size() - 2);
            key = key.substr(key.find('\\') + 1);
        } else if (line.size() > 2 && line.front() == '"') {
            const auto split = line.find("\"=\"");
            values[Widen(key + "\\" + line.substr(1, split - 1))] =
                Widen(line.substr(split + 3, line.size() - split - 4));
        }
    }
    return values;
}

// A file of the installation held open, without sharing, by this program.
class HeldFile {
public:
    explicit HeldFile(const std::wstring& path)
        : m_file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    bool Held() const { return static_cast<bool>(m_file); }

private:
    kvr::UniqueFile m_file;
};

// The installed browsing library, loaded from the system folder.
class InstalledLibrary {
public:
    InstalledLibrary() : m_module(LoadLibraryW((SystemDir() + L"\\KVRBRWS.DLL").c_str())) {
        if (!m_module) return;
        set = reinterpret_cast<decltype(set)>(GetProcAddress(m_module.Get(), "HLPSetPortRedirections"));
        get = reinterpret_cast<decltype(get)>(GetProcAddress(m_module.Get(), "HLPGetPortRedirections"));
        count = reinterpret_cast<decltype(count)>(GetProcAddress(m_module.Get(), "HLPGetNumberPortRedirections"));
    }
    bool Loaded() const { return set != nullptr && get != nullptr && count != nullptr; }

    // Redirects port `index` to one device's port.
    LONG Redirect(WORD index, const char* dosName, const char* device, const char* address, unsigned short tcpPort,
                  const char* remotePort) const {
        RedirectionRecord record{};
        record.device.transport = kTransportIp;
        std::snprintf(record.device.typeText, sizeof(record.device.typeText), "Simulated");
        std::snprintf(record.device.name, sizeof(record.device.name), "%s", device);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(tcpPort);
        inet_pton(AF_INET, address, &server.sin_addr);
        std::memcpy(record.device.address, &server, sizeof(server));
        std::snprintf(record.portName, sizeof(record.portName), "%s", remotePort);
        return set(index, dosName, TRUE, 1, &record);
    }

    decltype(&HLPSetPortRedirections) set = nullptr;
    decltype(&HLPGetPortRedirections) get = nullptr;
    decltype(&HLPGetNumberPortRedirections) count = nullptr;

private:
    kvr::UniqueModule m_module;
};

void SetOption(const wchar_t* name, DWORD value) {
    kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey).WriteDword(name, value);
}

// Where a DOS name points now ("" when it is not defined).
std::wstring DosTarget(const wchar_t* name) {
    wchar_t target[1024] = {};
    return QueryDosDeviceW(name, target, 1024) != 0 ? target : L"";
}

// The names the Control Panel lists (control.exe without arguments).
std::vector<std::wstring> ControlPanelNames() {
    SetupProgram control(SystemDir() + L"\\control.exe", L"");
    HWND list = nullptr;
    control.WaitFor(30000, [&](HWND window) {
        EnumChildWindows(
            window,
            [](HWND child, LPARAM param) -> BOOL {
                wchar_t name[64] = {};
                GetClassNameW(child, name, 64);
                if (std::wstring(name) != WC_LISTVIEWW) return TRUE;
                *reinterpret_cast<HWND*>(param) = child;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&list));
        return list != nullptr && SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0;
    });
    return list != nullptr ? setuptest::ListViewTexts(list) : std::vector<std::wstring>{};
}

bool Listed(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

constexpr wchar_t kChooserName[] = L"Quelt Rezo-Riv Chooser";

// Each test starts on a workstation where nothing of ours is installed or
// configured, and leaves it so.
class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static DWORD Install(const std::wstring& arguments = L"/S") {
        SetupProgram setup(SetupPath(), arguments);
        EXPECT_TRUE(setup.Started());
        return setup.WaitExit(kSetupTimeoutMs);
    }

    // The uninstaller run from a copy outside the folder it removes (_?=):
    // NSIS's way of waiting for it and getting its exit code.
    static DWORD Uninstall(const std::wstring& arguments = L"/S", const std::wstring& dir = DefaultInstallDir()) {
        SetupProgram uninstaller(UninstallerCopy(dir), arguments + L" _?=" + dir);
        EXPECT_TRUE(uninstaller.Started());
        return uninstaller.WaitExit(kSetupTimeoutMs);
    }
    static std::wstring UninstallerCopy(const std::wstring& dir) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        const std::wstring copy = std::wstring(temp) + L"kvr-uninstall.exe";
        CopyFileW((dir + L"\\Uninstall.exe").c_str(), copy.c_str(), FALSE);
        return copy;
    }

    static void Clean() {
        if (Exists(DefaultInstallDir() + L"\\Uninstall.exe")) Uninstall(L"/S /PURGE");
        for (const wchar_t* file : {L"ZDX.DEV", L"QUELT.INI"}) DeleteFileW((DefaultInstallDir() + L"\\" + file).c_str());
        RemoveDirectoryW(DefaultInstallDir().c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kQueltKey);
        RegDeleteTreeW(HKEY_CURRENT_USER, reg::kChooserUserKey);
    }

    // What a user configures with the Chooser: COM2 redirected to a device's
    // port (which also defines its DOS name), a user name, the lookup order,
    // a window position and a device in the device file.
    static void ConfigureAsAUserWould() {
        InstalledLibrary library;
        ASSERT_TRUE(library.Loaded());
        ASSERT_EQ(0, library.Redirect(1, "COM2", "Harbor", kDeviceAddress, 1549, "modem2"));
        kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey).WriteText(reg::kUsername, std::wstring(L"alice"));
        kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kServersKey)
            .WriteText(reg::kIpLookupMethods, std::wstring(L"DNS"));
        kvr::RegKey::Create(HKEY_CURRENT_USER, reg::kChooserUserKey)
            .WriteText(L"ChooserPosition", std::wstring(L"1:2:3:4"));
        WriteAll(DefaultInstallDir() + L"\\ZDX.DEV", kDeviceFileText);
    }
    static void ExpectTheUsersConfiguration() {
        EXPECT_EQ(L"COM2", MachineText(PortKey(1), reg::kDosDevices));
        EXPECT_EQ(1u, MachineDword(PortKey(1), reg::kIsRedirected));
        const std::wstring entry = PortKey(1) + L"\\" + reg::kRedirections + L"\\0";
        EXPECT_EQ(L"modem2", MachineText(entry, reg::kEntryPort));
        EXPECT_EQ(std::wstring(reg::kTcpServersKey) + L"\\Harbor", MachineText(entry, reg::kEntryServer));
        EXPECT_EQ(L"Harbor", MachineText(std::wstring(reg::kTcpServersKey) + L"\\Harbor", reg::kName));
        EXPECT_EQ(L"alice", MachineText(reg::kRezorivKey, reg::kUsername));
        EXPECT_EQ(L"DNS", MachineText(reg::kServersKey, reg::kIpLookupMethods));
        EXPECT_EQ(L"1:2:3:4", kvr::RegKey::Open(HKEY_CURRENT_USER, reg::kChooserUserKey).ReadText(L"ChooserPosition"));
        EXPECT_EQ(kDeviceFileText, ReadAll(DefaultInstallDir() + L"\\ZDX.DEV"));
    }

    // Checks that nothing the installer puts in place is there.
    static void ExpectNothingInstalled(const std::wstring& dir) {
        for (const wchar_t* file : {L"KVRSVC.EXE", L"KVRAUTH.DLL", L"Uninstall.exe"})
            EXPECT_FALSE(Exists(dir + L"\\" + file)) << file;
        for (const wchar_t* file : {L"KVRUI.CPL", L"KVRBRWS.DLL"}) EXPECT_FALSE(Exists(SystemDir() + L"\\" + file)) << file;
        EXPECT_FALSE(QueryService().registered);
        EXPECT_FALSE(KeyExists(kUninstallKey));
        EXPECT_FALSE(MachineText(kEnvironmentKey, L"QUELT"));
        EXPECT_FALSE(MachineText(reg::kServersKey, reg::kDeviceFile));
        EXPECT_FALSE(KeyExists(reg::kLookupKey));
    }
};

TEST_F(InstallerTest, SilentInstallPutsEverythingInPlaceAndTheServiceDialsOut) {
    ASSERT_EQ(0u, Install());
    const std::wstring dir = DefaultInstallDir();

    // The files, each with the one version number.
    const std::wstring version = Widen(KVR_VERSION_TEXT);
    for (const std::wstring& file : {dir + L"\\KVRSVC.EXE", dir + L"\\KVRAUTH.DLL", SystemDir() + L"\\KVRUI.CPL",
                                     SystemDir() + L"\\KVRBRWS.DLL", SetupPath()})
        EXPECT_EQ(version, FileVersion(file)) << file;
    EXPECT_TRUE(Exists(dir + L"\\Uninstall.exe"));

    // The installation folder for the Chooser and discovery.
    EXPECT_EQ(dir, MachineText(kEnvironmentKey, L"QUELT"));
    EXPECT_EQ(dir + L"\\ZDX.DEV", MachineText(reg::kServersKey, reg::kDeviceFile));

    // The catalogue, value for value as data/catalogue.reg has it.
    const auto catalogue = RegFileStrings(KVR_CATALOGUE_REG);
    EXPECT_GE(catalogue.size(), 4u);
    for (const auto& [path, value] : catalogue) {
        const auto split = path.rfind(L'\\');
        EXPECT_EQ(value, MachineText(path.substr(0, split), path.substr(split + 1).c_str())) << path;
    }

    // Four unconfigured ports, as the installed library reads them.
    InstalledLibrary library;
    ASSERT_TRUE(library.Loaded());
    for (WORD index = 0; index < 4; ++index) {
        LONG count = -1;
        EXPECT_EQ(0, library.count(index, &count));
        EXPECT_EQ(0, count);
        char dosName[25] = {};
        BOOL redirected = TRUE;
        EXPECT_EQ(0, library.get(index, dosName, &redirected, sizeof(dosName), &count, nullptr));
        EXPECT_EQ("COM" + std::to_string(index + 1), dosName);
        EXPECT_FALSE(redirected);
    }
    EXPECT_FALSE(KeyExists(PortKey(4)));
    EXPECT_FALSE(MachineDword(reg::kRezorivKey, reg::kUpgradeFlag));

    // The service, registered from the folder and running.
    const ServiceFacts service = QueryService();
    EXPECT_TRUE(service.registered);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), service.state);
    EXPECT_EQ(L"\"" + dir + L"\\KVRSVC.EXE\"", service.imagePath);

    // Quelt Chooser in the Control Panel.
    const auto names = ControlPanelNames();
    EXPECT_TRUE(Listed(names, kChooserName)) << names.size() << " applets listed";

    // Add/Remove Programs.
    EXPECT_EQ(L"Quelt Rezo-Riv", MachineText(kUninstallKey, L"DisplayName"));
    EXPECT_EQ(version, MachineText(kUninstallKey, L"DisplayVersion"));
    EXPECT_EQ(L"Quelt", MachineText(kUninstallKey, L"Publisher"));
    EXPECT_EQ(dir, MachineText(kUninstallKey, L"InstallLocation"));
    EXPECT_EQ(L"\"" + dir + L"\\Uninstall.exe\"", MachineText(kUninstallKey, L"UninstallString"));

    // Dial out: COM1 configured through the installed library to a simulated
    // device, the port driver stand-in on the service's default pipe.
    ChildProcess device(L"rasim.exe", Widen(std::string("--listen ") + kDeviceAddress +
                                            ":0 --device Harbor --port modem1 --user alice:secret"));
    ASSERT_TRUE(device.WaitFor("READY "));
    const std::string ready = device.Output();
    const auto port = static_cast<unsigned short>(std::stoi(ready.substr(ready.find(':', ready.find("READY ")) + 1)));
    SetOption(reg::kSilent, 1);
    SetOption(reg::kPasswordCaching, 0);
    ASSERT_EQ(0, library.Redirect(0, "COM1", "Harbor", kDeviceAddress, port, "modem1"));
    ChildProcess driver(L"portdrv.exe", L"Dialout0");
    driver.Write("at ATDT5551234\nexpect CONNECT\nsend hello through the service\\r\\n\nexpect the service\nquit\n");
    EXPECT_EQ(0u, driver.WaitExit(60000)) << driver.Output();
    const std::string output = driver.Output();
    EXPECT_NE(std::string::npos, output.find("OPEN RESULT 0")) << output;
    EXPECT_EQ(std::string::npos, output.find("EXPECT FAILED")) << output;
    EXPECT_TRUE(device.WaitFor("LOGIN ")) << device.Output();
}

TEST_F(InstallerTest, InstallingAgainUpgradesInPlaceAndKeepsTheConfiguration) {
    ASSERT_EQ(0u, Install());
    ConfigureAsAUserWould();
    ASSERT_EQ(0u, Install());
    ExpectTheUsersConfiguration();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), QueryService().state);

    // Another folder would leave the service on the old one: refused.
    EXPECT_NE(0u, Install(L"/S /D=C:\\Rezo-Riv elsewhere"));
    EXPECT_FALSE(Exists(L"C:\\Rezo-Riv elsewhere\\KVRSVC.EXE"));
    EXPECT_EQ(DefaultInstallDir(), MachineText(kUninstallKey, L"InstallLocation"));
}

TEST_F(InstallerTest, OldSettingsInTheFolderMarkTheUpgradeForTheChooser) {
    CreateDirectoryW(DefaultInstallDir().c_str(), nullptr);
    WriteAll(DefaultInstallDir() + L"\\QUELT.INI", "[COMM]\r\nUsername=alice\r\nCOM3Redir=1\r\n");
    ASSERT_EQ(0u, Install());
    EXPECT_EQ(1u, MachineDword(reg::kRezorivKey, reg::kUpgradeFlag));
    // Not ours: the uninstaller leaves it, and the folder with it.
    ASSERT_EQ(0u, Uninstall(L"/S /PURGE"));
    EXPECT_TRUE(Exists(DefaultInstallDir() + L"\\QUELT.INI"));
}

TEST_F(InstallerTest, UninstallLeavesNothingOfOursAndKeepsTheConfigurationUntilPurged) {
    ASSERT_EQ(0u, Install());
    const std::wstring dir = DefaultInstallDir();
    ConfigureAsAUserWould();
    ASSERT_EQ(L"\\Device\\Dialout1", DosTarget(L"COM2"));

    ASSERT_EQ(0u, Uninstall());
    ExpectNothingInstalled(dir);
    EXPECT_FALSE(Listed(ControlPanelNames(), kChooserName));
    EXPECT_NE(L"\\Device\\Dialout1", DosTarget(L"COM2"));
    // The configuration stays for a later installation.
    ExpectTheUsersConfiguration();

    // Installed again it finds that configuration; removed with /PURGE,
    // nothing at all is left.
    ASSERT_EQ(0u, Install());
    ExpectTheUsersConfiguration();
    ASSERT_EQ(0u, Uninstall(L"/S /PURGE"));
    ExpectNothingInstalled(dir);
    EXPECT_FALSE(KeyExists(kQueltKey));
    EXPECT_FALSE(kvr::RegKey::Open(HKEY_CURRENT_USER, reg::kChooserUserKey));
    EXPECT_FALSE(Exists(dir));
}

TEST_F(InstallerTest, TheUninstallersCheckBoxRemovesTheConfiguration) {
    ASSERT_EQ(0u, Install());
    kvr::RegKey::Create(HKEY_LOCAL_MACHINE, reg::kRezorivKey).WriteText(reg::kUsername, std::wstring(L"alice"));
    SetupProgram uninstaller(UninstallerCopy(DefaultInstallDir()), L"_?=" + DefaultInstallDir());
    const HWND confirm = uninstaller.WaitForPage(L"Also remove my configuration");
    ASSERT_NE(nullptr, confirm);
    HWND box = nullptr;
    EnumChildWindows(
        confirm,
        [](HWND child, LPARAM param) -> BOOL {
            if (setuptest::TextOf(child) != L"&Also remove my configuration") return TRUE;
            *reinterpret_cast<HWND*>(param) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&box));
    ASSERT_NE(nullptr, box);
    SendMessageW(box, BM_CLICK, 0, 0);
    ASSERT_TRUE(SetupProgram::Press(confirm, setuptest::kNextButton));
    const HWND done = uninstaller.WaitForPage(L"Uninstallation Complete");
    ASSERT_NE(nullptr, done);
    ASSERT_TRUE(SetupProgram::Press(done, setuptest::kNextButton));
    const HWND finish = uninstaller.WaitForPage(L"has been uninstalled");
    ASSERT_NE(nullptr, finish);
    ASSERT_TRUE(SetupProgram::Press(finish, setuptest::kNextButton));
    EXPECT_EQ(0u, uninstaller.WaitExit());
    ExpectNothingInstalled(DefaultInstallDir());
    EXPECT_FALSE(KeyExists(kQueltKey));
}

TEST_F(InstallerTest, AFileInUseStopsUpgradeAndUninstallBeforeAnythingChanges) {
    ASSERT_EQ(0u, Install());
    const std::wstring dir = DefaultInstallDir();
    const std::wstring held = SystemDir() + L"\\KVRBRWS.DLL";
    const std::string library = ReadAll(held);
    {
        HeldFile holder(held);
        ASSERT_TRUE(holder.Held());
        EXPECT_NE(0u, Install());
        EXPECT_NE(0u, Uninstall());
        EXPECT_NE(0u, Uninstall(L"/S /PURGE"));
    }

    // Still whole, and the service (stopped to check its files) runs again.
    EXPECT_TRUE(library == ReadAll(held));
    for (const std::wstring& file : {dir + L"\\KVRSVC.EXE", dir + L"\\KVRAUTH.DLL", dir + L"\\Uninstall.exe",
                                     SystemDir() + L"\\KVRUI.CPL"})
        EXPECT_TRUE(Exists(file)) << file;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), QueryService().state);
    EXPECT_TRUE(KeyExists(kUninstallKey));
    EXPECT_EQ(dir, MachineText(kEnvironmentKey, L"QUELT"));
    EXPECT_TRUE(KeyExists(reg::kLookupKey));
    EXPECT_TRUE(KeyExists(PortKey(0)));
}

TEST_F(InstallerTest, AFileInUseIsExplainedToThePersonInstalling) {
    ASSERT_EQ(0u, Install());
    HeldFile held(SystemDir() + L"\\KVRUI.CPL");
    ASSERT_TRUE(held.Held());
    SetupProgram setup(SetupPath(), L"");
    const HWND welcome = setup.WaitForPage(L"Welcome");
    ASSERT_NE(nullptr, welcome);
    // The folder page is skipped: the installation is upgraded where it is.
    ASSERT_TRUE(SetupProgram::Press(welcome, setuptest::kNextButton));
    const HWND message = setup.WaitForMessageBox();
    ASSERT_NE(nullptr, message);
    const std::wstring text = setuptest::TextOf(GetDlgItem(message, setuptest::kMessageText));
    EXPECT_NE(std::wstring::npos, text.find(L"in use")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"KVRUI.CPL")) << text;
    EXPECT_NE(std::wstring::npos, text.find(L"Nothing has been changed")) << text;
    ASSERT_TRUE(SetupProgram::Press(message, IDOK));
    const HWND wizard = setup.WaitForPage(L"Installation Aborted");
    ASSERT_NE(nullptr, wizard);
    ASSERT_TRUE(SetupProgram::Press(wizard, setuptest::kCancelButton));
    EXPECT_NE(0u, setup.WaitExit());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), QueryService().state);
}

// Folders that cannot be written: a file where a folder must be made, and
// (where the test script could make one) an existing folder nobody may
// write to. A first installation there leaves nothing behind.
TEST_F(InstallerTest, AFolderThatCannotBeWrittenFailsAndLeavesNothing) {
    WriteAll(L"C:\\kvr-blocker", "a file, not a folder");
    std::vector<std::wstring> folders = {L"C:\\kvr-blocker\\Rezo-Riv"};
    wchar_t readOnly[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"KVR_READONLY_DIR", readOnly, MAX_PATH) != 0) folders.push_back(readOnly);
    for (const std::wstring& folder : folders) {
        EXPECT_NE(0u, Install(L"/S /D=" + folder)) << folder;
        ExpectNothingInstalled(folder);
        EXPECT_FALSE(Exists(folder + L"\\~kvrsetup.tmp"));
    }
    DeleteFileW(L"C:\\kvr-blocker");
    if (folders.size() == 1) std::printf("(no read-only folder from the test script: one case of two)\n");
}

}  // namespace
