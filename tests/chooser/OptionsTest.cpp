// The Options page and the Advanced Options dialog: every option edited
// through the real controls and stored for the service, the network type
// switch with its confirmation, and the About box behind the logo.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "ChooserFixture.h"
#include "PropertySheet.h"
#include "KvrBrws.h"
#include "KvrVersion.h"

namespace kvr::test {
namespace {

class OptionsTest : public ChooserTest {
protected:
    // The sheet on its Options page.
    HWND OpenOptions(ChooserRun& run) {
        const HWND sheet = run.WaitForSheet();
        if (sheet != nullptr) SelectPage(sheet, 4);
        return sheet;
    }
    static std::optional<DWORD> Global(const wchar_t* name) { return ScratchRegistry::GetDword(reg::kRezorivKey, name); }
    static std::wstring GlobalText(const wchar_t* name) {
        return ScratchRegistry::GetString(reg::kRezorivKey, name).value_or(L"<none>");
    }
    // Opens Advanced Options from the page.
    static HWND OpenAdvanced(ChooserRun& run, HWND page) {
        PostClick(page, IDC_ADVANCED);
        return run.WaitForCaption(L"Advanced Options");
    }
};

TEST_F(OptionsTest, PageEditsAreStoredOnOkAndAUserNameChangeTicks) {
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kUsername, L"before");
    ChooserRun run(m_applet);
    const HWND sheet = OpenOptions(run);
    ASSERT_NE(nullptr, sheet);
    const HWND page = CurrentPage(sheet);
    const HWND edit = ::GetDlgItem(page, IDC_USERNAME);
    EXPECT_EQ(L"before", WindowText(edit));
    EXPECT_EQ(31, ::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0));
    // Typing: the edit has the focus, then its text changes.
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_USERNAME, EN_SETFOCUS), reinterpret_cast<LPARAM>(edit));
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"alice"));
    SendClick(page, IDC_NARRATE);
    SendClick(page, IDC_MODEM_DISPLAY);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(sheet, kApplyNowButton)));
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(L"alice", GlobalText(reg::kUsername));
    EXPECT_EQ(1u, Global(reg::kNarrate));
    EXPECT_EQ(L"ON", GlobalText(reg::kModemLocation));
    std::uint8_t tick[4] = {};
    EXPECT_TRUE(ScratchRegistry::Open(reg::kRezorivKey).ReadBytes(reg::kUsernameModTick, tick, 4))
        << "a changed user name tells the service";
}

TEST_F(OptionsTest, TextSetWithoutTheFocusIsNotTakenAsTyping) {
    ChooserRun run(m_applet);
    const HWND sheet = OpenOptions(run);
    ASSERT_NE(nullptr, sheet);
    const HWND page = CurrentPage(sheet);
    const HWND edit = ::GetDlgItem(page, IDC_USERNAME);
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_USERNAME, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"bob"));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(sheet, kApplyNowButton)));
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(L"", GlobalText(reg::kUsername));
}

TEST_F(OptionsTest, AdvancedDialogShowsTheCachingTimeAsStored) {
    struct Case {
        DWORD stored;
        const wchar_t* label;
        int radio;
        bool trackbarEnabled;
        int thumb;
    };
    const Case cases[] = {
        {0, L"Disabled", IDC_CACHE_DISABLED, false, 5},
        {0xFFFFFFFF, L"Until Windows Shuts Down", IDC_CACHE_FOREVER, false, 360},
        {5400000, L"1 Hours 30 Minutes", IDC_CACHE_TIMED, true, 90},
        {60000, L"1 Minutes", IDC_CACHE_TIMED, true, 5},
        {30000000, L"6 Hours 0 Minutes", IDC_CACHE_TIMED, true, 360},
    };
    for (const Case& c : cases) {
        ScratchRegistry::SetDword(reg::kRezorivKey, reg::kPasswordCaching, c.stored);
        ChooserRun run(m_applet);
        const HWND sheet = OpenOptions(run);
        ASSERT_NE(nullptr, sheet);
        const HWND dialog = OpenAdvanced(run, CurrentPage(sheet));
        ASSERT_NE(nullptr, dialog) << c.stored;
        EXPECT_EQ(c.label, WindowText(::GetDlgItem(dialog, IDC_CACHE_LABEL))) << c.stored;
        for (int radio : {IDC_CACHE_DISABLED, IDC_CACHE_TIMED, IDC_CACHE_FOREVER})
            EXPECT_EQ(radio == c.radio, ::IsDlgButtonChecked(dialog, radio) == BST_CHECKED) << c.stored << " " << radio;
        const HWND trackbar = ::GetDlgItem(dialog, IDC_CACHE_TRACKBAR);
        EXPECT_EQ(c.trackbarEnabled, ::IsWindowEnabled(trackbar) != FALSE) << c.stored;
        EXPECT_EQ(c.thumb, ::SendMessageW(trackbar, TBM_GETPOS, 0, 0)) << c.stored;
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK))) << "OK waits for a change";
        Answer(dialog, IDCANCEL);
        Answer(sheet, IDCANCEL);
        ASSERT_TRUE(run.WaitFinished());
    }
}

TEST_F(OptionsTest, AdvancedDialogStoresWhatItShowsAndRefusesBadInput) {
    ScratchRegistry::SetDword(reg::kRezorivKey, reg::kReopen, 1500);
    ScratchRegistry::SetDword(reg::kRezorivKey, reg::kPasswordCaching, 30000000);
    ScratchRegistry::SetDword(reg::kRezorivKey, reg::kSilent, 0);
    ChooserRun run(m_applet);
    const HWND sheet = OpenOptions(run);
    ASSERT_NE(nullptr, sheet);
    const HWND dialog = OpenAdvanced(run, CurrentPage(sheet));
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ(L"1", WindowText(::GetDlgItem(dialog, IDC_REOPEN)));
    EXPECT_NE(BST_CHECKED, ::IsDlgButtonChecked(dialog, IDC_SILENT));

    struct Bad {
        int id;
        const wchar_t* text;
        const wchar_t* message;
    };
    const std::wstring tooLong(81, L'x');
    const Bad bads[] = {{IDC_REOPEN, L"0", L"Please enter an integer between 1 and 60."},
                        {IDC_REOPEN, L"61", L"Please enter an integer between 1 and 60."},
                        {IDC_REOPEN, L"twelve", L"Please enter an integer."},
                        {IDC_LOOKUP_METHODS, tooLong.c_str(), L"Please enter no more than 80 characters."}};
    for (const Bad& bad : bads) {
        ::SetDlgItemTextW(dialog, IDC_REOPEN, L"12");
        ::SetDlgItemTextW(dialog, IDC_LOOKUP_METHODS, L"");
        ::SendMessageW(::GetDlgItem(dialog, bad.id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(bad.text));
        Answer(dialog, IDOK);
        const HWND box = run.WaitForMessageBox(L"Advanced Options");
        ASSERT_NE(nullptr, box) << bad.message;
        EXPECT_EQ(bad.message, MessageBoxText(box));
        Answer(box, IDOK);
        ASSERT_TRUE(WaitUntil([&] { return run.WaitForMessageBox(L"Advanced Options", 0) == nullptr; }));
        EXPECT_TRUE(::IsWindow(dialog)) << "the dialog stays open";
    }

    // The thumb snaps to five minutes.
    const HWND trackbar = ::GetDlgItem(dialog, IDC_CACHE_TRACKBAR);
    ::SendMessageW(trackbar, TBM_SETPOS, TRUE, 93);
    ::SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 93), reinterpret_cast<LPARAM>(trackbar));
    EXPECT_EQ(L"1 Hours 30 Minutes", WindowText(::GetDlgItem(dialog, IDC_CACHE_LABEL)));
    ::SetDlgItemTextW(dialog, IDC_REOPEN, L"1");
    ::SetDlgItemTextW(dialog, IDC_LOOKUP_METHODS, L"DNS, DeviceFile");
    SendClick(dialog, IDC_SILENT);
    SendClick(dialog, IDC_USABLE_ONLY);
    Answer(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(1000u, Global(reg::kReopen));
    EXPECT_EQ(5400000u, Global(reg::kPasswordCaching));
    EXPECT_EQ(1u, Global(reg::kSilent));
    EXPECT_EQ(0u, Global(reg::kShowUsableOnly));
    EXPECT_EQ(L"DNS, DeviceFile", ScratchRegistry::GetString(reg::kServersKey, reg::kIpLookupMethods).value_or(L""));
}

TEST_F(OptionsTest, DefaultsAndTheCachingRadios) {
    ChooserRun run(m_applet);
    const HWND sheet = OpenOptions(run);
    ASSERT_NE(nullptr, sheet);
    const HWND dialog = OpenAdvanced(run, CurrentPage(sheet));
    ASSERT_NE(nullptr, dialog);
    struct Step {
        int radio;
        const wchar_t* label;
    };
    for (const Step& step : {Step{IDC_CACHE_DISABLED, L"Disabled"}, Step{IDC_CACHE_FOREVER, L"Until Windows Shuts Down"},
                             Step{IDC_CACHE_TIMED, L"1 Hours 0 Minutes"}})
    {
        SendClick(dialog, step.radio);
        EXPECT_EQ(step.label, WindowText(::GetDlgItem(dialog, IDC_CACHE_LABEL)));
    }
    ::SetDlgItemTextW(dialog, IDC_REOPEN, L"40");
    SendClick(dialog, IDC_DEFAULTS);
    EXPECT_EQ(L"12", WindowText(::GetDlgItem(dialog, IDC_REOPEN)));
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(dialog, IDC_SILENT));
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(dialog, IDC_USABLE_ONLY));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
    SendClick(dialog, IDC_CACHE_DISABLED);
    Answer(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(dialog); }));
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_EQ(0u, Global(reg::kPasswordCaching));
    EXPECT_EQ(12000u, Global(reg::kReopen));
}

TEST_F(OptionsTest, SwitchingTheNetworkTypeAsksClearsThePortsAndStoresAtOnce) {
    ASSERT_EQ(0, SeedPort(0, "COM1", true, {{"Harbor", "Rack", "modem1"}}));
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"tcp/ip");  // read without regard to case
    ChooserRun run(m_applet);
    const HWND sheet = OpenOptions(run);
    ASSERT_NE(nullptr, sheet);
    const HWND page = CurrentPage(sheet);
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(page, IDC_TCPIP));
    // The selected type clicked again does nothing.
    SendClick(page, IDC_TCPIP);
    EXPECT_EQ(nullptr, run.WaitForWindow([](HWND w) { return WindowText(w).rfind(L"Confirm", 0) == 0; }, 300));

    // IPX is not available here, so its button is disabled; its click still comes as a command.
    const auto clickIpx = [&] {
        ::PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_IPX, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(page, IDC_IPX)));
    };
    clickIpx();
    HWND question = run.WaitForMessageBox(L"Confirm Switching Transports");
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(L"This operation will cause your current COM port redirection configuration to be removed.\n\nAre you "
              L"sure you want to continue?",
              MessageBoxText(question));
    Answer(question, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return ::IsDlgButtonChecked(page, IDC_TCPIP) == BST_CHECKED; }));
    EXPECT_TRUE(ReadStoredPort(0).redirected) << "No changes nothing";

    clickIpx();
    question = run.WaitForMessageBox(L"Confirm Switching Transports");
    ASSERT_NE(nullptr, question);
    Answer(question, IDYES);
    ASSERT_TRUE(WaitUntil([] { return ScratchRegistry::GetString(reg::kRezorivKey, reg::kTransport) == L"IPX"; }))
        << "stored before OK";
    const StoredPort cleared = ReadStoredPort(0);
    EXPECT_FALSE(cleared.redirected);
    EXPECT_TRUE(cleared.entries.empty());
    const HWND list1 = PortList(sheet, 1);
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list1).empty(); })) << "the port pages reload";
    EXPECT_EQ(0, TabImage(sheet, 0));
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

TEST_F(OptionsTest, AnUnavailableNetworkTypeIsReportedOnOpening) {
    ScratchRegistry::SetString(reg::kRezorivKey, reg::kTransport, L"IPX");
    ChooserRun run(m_applet);
    const HWND warning = run.WaitForWindow(
        [](HWND w) { return WindowText(w) == L"Quelt Rezo-Riv Configuration Warning"; });
    ASSERT_NE(nullptr, warning);
    EXPECT_NE(std::wstring::npos,
              MessageBoxText(warning).find(L"is setup to run over IPX/SPX and IPX/SPX is not\ncurrently configured"));
    EXPECT_NE(std::wstring::npos, MessageBoxText(warning).find(L"to use TCP/IP in the"));
    Answer(warning, IDOK);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    SelectPage(sheet, 4);
    const HWND page = CurrentPage(sheet);
    EXPECT_EQ(BST_CHECKED, ::IsDlgButtonChecked(page, IDC_IPX));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(page, IDC_IPX)));
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(page, IDC_TCPIP)));
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

TEST_F(OptionsTest, LogoOpensTheAboutBoxWithTheModuleVersion) {
    ChooserRun run(m_applet);
    const HWND sheet = OpenOptions(run);
    ASSERT_NE(nullptr, sheet);
    PostClick(CurrentPage(sheet), IDC_LOGO_BUTTON);
    const HWND about = run.WaitForCaption(L"About Chooser");
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(KVR_VERSION_TEXT, [&] {
        const std::wstring text = WindowText(::GetDlgItem(about, IDC_VERSION));
        return std::string(text.begin(), text.end());
    }());
    EXPECT_EQ(L"\u00E4", WindowText(::GetDlgItem(about, IDC_ABOUT_TRADEMARK_SIGN)));
    EXPECT_FALSE(WindowText(::GetDlgItem(about, IDC_ABOUT_TRADEMARK_NOTICE)).empty());
    Answer(about, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(about); }));
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

}  // namespace
}  // namespace kvr::test
