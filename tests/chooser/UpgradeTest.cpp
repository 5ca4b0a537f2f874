// The upgrade from the old product's QUELT.INI through all its outcomes: no
// pending flag, no directory, no file, nothing to copy, No, Yes with good and
// bad port lists, and a failure that leaves the upgrade pending.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChooserFixture.h"
#include "KvrBrws.h"

namespace kvr::test {
namespace {

class UpgradeTest : public ChooserTest {
protected:
    static void SetUpTestSuite() {
        s_devices = SimulatedDevices::StartWhenPortFree(
            {{L"Quay", L"127.0.0.83", 12, {L"g1", L"g2"}, L""}, {L"Q", L"127.0.0.85", 14, {L"q1"}, L""}}, kPortWaitMs);
    }
    static void TearDownTestSuite() { s_devices.reset(); }
    void SetUp() override {
        ChooserTest::SetUp();
        ASSERT_TRUE(s_devices->Ready()) << s_devices->Output();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_directory = std::wstring(temp) + L"kvr-upgrade-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(m_directory.c_str(), nullptr);
        ::DeleteFileW(Profile().c_str());
        ::SetEnvironmentVariableW(L"QUELT", m_directory.c_str());
        ScratchRegistry::SetDword(reg::kRezorivKey, reg::kUpgradeFlag, 1);
        ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"TCP/IP");
        // The devices the old lists name, found through the known servers.
        SimulatedDevices::WriteCatalogue();
        SimulatedDevices::SetLookupMethods(L"DeviceFile");
        SimulatedDevices::AddKnownServer(L"Quay", L"127.0.0.83", L"Rack Unit");
        SimulatedDevices::AddKnownServer(L"Q", L"127.0.0.85", L"Remote Hub");
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"QUELT", nullptr);
        ::DeleteFileW(Profile().c_str());
        ::RemoveDirectoryW(m_directory.c_str());
    }
    std::wstring Profile() const { return m_directory + L"\\QUELT.INI"; }
    void WriteProfile(const std::string& text) const {
        std::ofstream file{std::filesystem::path(Profile()), std::ios::binary};
        file << text;
    }
    static DWORD Flag() { return ScratchRegistry::GetDword(reg::kRezorivKey, reg::kUpgradeFlag).value_or(99); }

    // Answers the question and, for Yes, waits for the complete dialog.
    static HWND AnswerQuestion(ChooserRun& run, int answer) {
        const HWND question = run.WaitForCaption(L"Quelt Rezo-Riv Upgrade");
        if (question == nullptr) return nullptr;
        Answer(question, answer);
        return question;
    }

    std::wstring m_directory;
    static inline std::unique_ptr<SimulatedDevices> s_devices;
};

TEST_F(UpgradeTest, WithoutAQuestionToAskTheSheetOpensAsUsual) {
    struct Case {
        const char* name;
        DWORD flag;
        bool variable;
        bool file;
        bool configured;
        DWORD flagAfter;
    };
    const Case cases[] = {
        {"no flag", 0, true, true, false, 0},
        {"no variable", 1, false, true, false, 1},
        {"no file", 1, true, false, false, 1},
        {"already configured", 1, true, true, true, 0},
    };
    for (const Case& c : cases) {
        ScratchRegistry::SetDword(reg::kRezorivKey, reg::kUpgradeFlag, c.flag);
        ::SetEnvironmentVariableW(L"QUELT", c.variable ? m_directory.c_str() : nullptr);
        ::DeleteFileW(Profile().c_str());
        if (c.file) WriteProfile("[COMM]\r\nUsername=old\r\n");
        ScratchRegistry::SetString(reg::kRezorivKey, reg::kUsername, c.configured ? L"someone" : L"");
        ChooserRun run(m_applet);
        const HWND sheet = run.WaitForSheet();
        ASSERT_NE(nullptr, sheet) << c.name;
        EXPECT_FALSE(run.Shows(L"Quelt Rezo-Riv Upgrade", 0)) << c.name;
        Answer(sheet, IDCANCEL);
        ASSERT_TRUE(run.WaitFinished()) << c.name;
        EXPECT_EQ(c.flagAfter, Flag()) << c.name;
    }
}

TEST_F(UpgradeTest, AnsweringNoClearsTheFlagAndCopiesNothing) {
    WriteProfile("[COMM]\r\nUsername=old\r\nCOM1Redir=1\r\n");
    ChooserRun run(m_applet);
    ASSERT_NE(nullptr, AnswerQuestion(run, IDNO));
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(0u, Flag());
    EXPECT_EQ(L"", ScratchRegistry::GetString(reg::kRezorivKey, reg::kUsername).value_or(L""));
    EXPECT_FALSE(ReadStoredPort(0).redirected);

    // The next opening shows the sheet.
    ChooserRun again(m_applet);
    const HWND sheet = again.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(again.WaitFinished());
}

TEST_F(UpgradeTest, YesCopiesOptionsAndListsAndReportsWhatItCannotCopy) {
    std::string list3;  // 26 entries, within the splitter's 127 characters
    for (int i = 0; i < 26; ++i) list3.append(i ? ",Q::" : "Q::");
    std::string list4;  // over 127 characters
    for (int i = 0; i < 22; ++i) list4.append(i ? ",Quay::" : "Quay::");
    WriteProfile("; the old product's settings\r\n[Other]\r\nUsername=wrong\r\n[comm]\r\n"
                 "Username = " + std::string(40, 'u') + "\r\nTransport=TCP/IP\r\nNarrate=1\r\n"
                 "COM1Redir=1\r\nCOM1List=  Quay::,Q:any:   \r\n"
                 "COM2Redir=0\r\nCOM2List=Quay:x:g1,Missing:x:y,Q::\r\n"
                 "COM3Redir=30583\r\nCOM3List=" + list3 + "\r\n"
                 "COM4Redir=1\r\nCOM4List=" + list4 + "\r\n");
    ChooserRun run(m_applet);
    ASSERT_NE(nullptr, AnswerQuestion(run, IDYES));
    ASSERT_TRUE(run.Shows(L"Quelt Rezo-Riv Upgrade Progress", 15000));
    // One warning each for COM2 (a missing device), COM3 (past 25) and COM4 (too long).
    for (int port : {2, 3, 4}) {
        const HWND warning = run.WaitForMessageBox(L"Upgrade Warning", 30000);
        ASSERT_NE(nullptr, warning) << port;
        EXPECT_EQ(L"The Rezo-Riv for Windows 3.X configuration for port COM" + std::to_wstring(port) +
                      L"\nis invalid and will not be copied to Rezo-Riv for Windows NT.\n\nYou will have to configure "
                      L"this port yourself using Quelt\nChooser in the Windows Control Panel.",
                  MessageBoxText(warning));
        Answer(warning, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(warning); }));
    }
    const HWND complete = run.WaitForCaption(L"Quelt Rezo-Riv Upgrade Complete", 30000);
    ASSERT_NE(nullptr, complete);
    const HWND ports = ::GetDlgItem(complete, IDC_REDIRECTED_PORTS);
    ASSERT_EQ(2, ::SendMessageW(ports, LB_GETCOUNT, 0, 0));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(complete, IDOK)));
    Answer(complete, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());

    EXPECT_EQ(0u, Flag());
    EXPECT_EQ(std::wstring(31, L'u'), ScratchRegistry::GetString(reg::kRezorivKey, reg::kUsername).value_or(L""))
        << "cut to what the configuration holds";
    EXPECT_EQ(1u, ScratchRegistry::GetDword(reg::kRezorivKey, reg::kNarrate));
    const StoredPort com1 = ReadStoredPort(0);
    EXPECT_TRUE(com1.redirected);
    ASSERT_EQ(2u, com1.entries.size());
    EXPECT_EQ("Quay", com1.entries[0].name);
    EXPECT_EQ("Q", com1.entries[1].name);
    EXPECT_EQ(85, com1.entries[1].address[7]);
    const StoredPort com2 = ReadStoredPort(1);
    EXPECT_FALSE(com2.redirected) << "a list without the Redir flag is copied but not redirected";
    ASSERT_EQ(1u, com2.entries.size()) << "the list stops at the missing device";
    EXPECT_EQ("g1", com2.entries[0].portName);
    EXPECT_EQ(25u, ReadStoredPort(2).entries.size());
    EXPECT_FALSE(ReadStoredPort(2).redirected) << "30583 stands for a missing key";
    EXPECT_TRUE(ReadStoredPort(3).entries.empty());
    EXPECT_TRUE(ReadStoredPort(3).redirected);
}

TEST_F(UpgradeTest, NoRedirectedPortMeansNoneAndNoModemsButton) {
    WriteProfile("[COMM]\r\nUsername=solo\r\n");
    ChooserRun run(m_applet);
    ASSERT_NE(nullptr, AnswerQuestion(run, IDYES));
    const HWND complete = run.WaitForCaption(L"Quelt Rezo-Riv Upgrade Complete", 30000);
    ASSERT_NE(nullptr, complete);
    const HWND ports = ::GetDlgItem(complete, IDC_REDIRECTED_PORTS);
    ASSERT_EQ(1, ::SendMessageW(ports, LB_GETCOUNT, 0, 0));
    wchar_t text[16] = {};
    ::SendMessageW(ports, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(L"None", text);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(complete, IDOK)));
    Answer(complete, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(L"solo", ScratchRegistry::GetString(reg::kRezorivKey, reg::kUsername).value_or(L""));
}

TEST_F(UpgradeTest, AnUnavailableNetworkTypeAbortsAndKeepsTheUpgradePending) {
    WriteProfile("[COMM]\r\nUsername=old\r\nTransport=ipx/spx\r\n");
    ChooserRun run(m_applet);
    ASSERT_NE(nullptr, AnswerQuestion(run, IDYES));
    const HWND error = run.WaitForMessageBox(L"Upgrade Error", 30000);
    ASSERT_NE(nullptr, error);
    EXPECT_NE(std::wstring::npos, MessageBoxText(error).find(L"configured to run over\nIPX/SPX and IPX/SPX is not"));
    Answer(error, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(1u, Flag());
    EXPECT_EQ(L"", ScratchRegistry::GetString(reg::kRezorivKey, reg::kUsername).value_or(L""));
}

}  // namespace
}  // namespace kvr::test
