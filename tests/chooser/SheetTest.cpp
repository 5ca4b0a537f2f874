// The Chooser as a Control Panel host runs it: the applet protocol, and the
// sheet with its port pages driven by messages, checked against what the
// browsing library's store then holds for the service.
#include <windows.h>
#include <commctrl.h>
#include <cpl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ChooserFixture.h"
#include "PropertySheet.h"
#include "KvrBrws.h"

namespace kvr::test {
namespace {

TEST_F(ChooserTest, AnswersTheControlPanelProtocol) {
    struct Case {
        UINT message;
        LONG expected;
    };
    // CPL_STARTWPARMS (9 and 10) answers 0, or hosts never send the double-click.
    const Case cases[] = {{CPL_INIT, 1}, {CPL_GETCOUNT, 1}, {CPL_SELECT, 1}, {CPL_STOP, 1},
                          {9, 0},        {10, 0},          {CPL_SETUP, 1},  {CPL_EXIT, 0}};
    for (const Case& c : cases) EXPECT_EQ(c.expected, m_applet.Call(c.message)) << c.message;

    CPLINFO info{};
    EXPECT_EQ(0, m_applet.Call(CPL_INQUIRE, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(IDI_CHOOSER, info.idIcon);
    EXPECT_EQ(IDS_APPLET_NAME, info.idName);
    EXPECT_EQ(IDS_APPLET_INFO, info.idInfo);
}

TEST_F(ChooserTest, NewInquireFillsItsOwnSizeWhateverTheHostClaims) {
    std::vector<unsigned char> buffer(sizeof(NEWCPLINFOW) + 64, 0xCC);
    auto* info = reinterpret_cast<NEWCPLINFOW*>(buffer.data());
    info->dwSize = 12;  // a host's claim that must not matter
    ASSERT_EQ(1, m_applet.Call(CPL_INIT));
    EXPECT_EQ(0, m_applet.Call(CPL_NEWINQUIRE, 0, reinterpret_cast<LPARAM>(info)));
    EXPECT_EQ(sizeof(NEWCPLINFOW), info->dwSize);
    EXPECT_EQ(0u, info->dwFlags);
    EXPECT_EQ(0, info->lData);
    EXPECT_NE(nullptr, info->hIcon);
    EXPECT_STREQ(L"Quelt Rezo-Riv Chooser", info->szName);
    EXPECT_STREQ(L"Configures Quelt Rezo-Riv for Windows NT", info->szInfo);
    const std::wstring help = info->szHelpFile;
    EXPECT_EQ(L"\\HELP\\KVRHELP.HLP", help.substr(help.size() - 17));
    for (std::size_t i = sizeof(NEWCPLINFOW); i < buffer.size(); ++i) ASSERT_EQ(0xCC, buffer[i]) << i;
    m_applet.Call(CPL_EXIT);
}

TEST_F(ChooserTest, OpensOnTheFirstRedirectedPortWithTabsThatShowIt) {
    struct Case {
        std::vector<int> redirected;  // port indexes
        int expectedPage;
    };
    const Case cases[] = {{{}, 4}, {{1, 3}, 1}, {{0}, 0}, {{2}, 2}};
    for (const Case& c : cases) {
        for (int i = 0; i < 4; ++i) {
            bool on = false;
            for (int r : c.redirected) on = on || r == i;
            ASSERT_EQ(0, SeedPort(i, ("COM" + std::to_string(i + 1)).c_str(), on, {}));
        }
        ChooserRun run(m_applet);
        const HWND sheet = run.WaitForSheet();
        ASSERT_NE(nullptr, sheet);
        EXPECT_EQ(c.expectedPage, ActivePageIndex(sheet));
        for (int i = 0; i < 4; ++i) {
            bool on = false;
            for (int r : c.redirected) on = on || r == i;
            EXPECT_EQ(L"COM" + std::to_wstring(i + 1), TabText(sheet, i));
            EXPECT_EQ(on ? 1 : 0, TabImage(sheet, i)) << "COM" << i + 1;
        }
        EXPECT_EQ(L"Options", TabText(sheet, 4));
        Answer(sheet, IDCANCEL);
        ASSERT_TRUE(run.WaitFinished());
        EXPECT_EQ(0, run.DoubleClickResult());
    }
}

TEST_F(ChooserTest, RedirectBoxChangesTheTabAtOnceAndApplyStoresIt) {
    ASSERT_EQ(0, SeedPort(1, "COM2", false, {{"Harbor", "Rack", "modem1"}}));
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    SelectPage(sheet, 1);
    const HWND page = CurrentPage(sheet);
    const HWND apply = ::GetDlgItem(sheet, kApplyNowButton);
    EXPECT_FALSE(::IsWindowEnabled(apply));

    SendClick(page, IDC_REDIRECT);
    EXPECT_EQ(1, TabImage(sheet, 1));
    EXPECT_TRUE(::IsWindowEnabled(apply));
    EXPECT_FALSE(ReadStoredPort(1).redirected) << "nothing is stored before Apply";
    SendClick(sheet, kApplyNowButton);
    StoredPort stored = ReadStoredPort(1);
    EXPECT_TRUE(stored.redirected);
    ASSERT_EQ(1u, stored.entries.size()) << "a redirected port keeps its list";
    EXPECT_EQ("modem1", stored.entries[0].portName);

    SendClick(page, IDC_REDIRECT);
    EXPECT_EQ(0, TabImage(sheet, 1));
    EXPECT_EQ(1u, ListRows(::GetDlgItem(page, IDC_PORT_LIST)).size()) << "unticking keeps the rows";
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    stored = ReadStoredPort(1);
    EXPECT_FALSE(stored.redirected);
    EXPECT_EQ(1u, stored.entries.size());
}

TEST_F(ChooserTest, CancelStoresNothingAndApplyWithoutChangesWritesNothing) {
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    // A change behind the Chooser's back survives an Apply with nothing modified.
    ASSERT_EQ(0, SeedPort(3, "COM4", true, {{"Elsewhere", "Rack", "p"}}));
    SendClick(sheet, kApplyNowButton);
    EXPECT_TRUE(ReadStoredPort(3).redirected);

    SelectPage(sheet, 0);
    SendClick(CurrentPage(sheet), IDC_REDIRECT);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_FALSE(ReadStoredPort(0).redirected);
}

TEST_F(ChooserTest, RowsShowTheTextFormAndDragReordersThem) {
    ASSERT_EQ(0, SeedPort(0, "COM1", true,
                          {{"Alpha", "Rack", "modems", {127, 0, 0, 11}},
                           {"Bravo", "Hub:Mk 2", "", {127, 0, 0, 12}},
                           {"Charlie", "Rack", "Command_Shell", {127, 0, 0, 13}}}));
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    const HWND list = PortList(sheet, 1);
    const std::vector<ListRow> loaded = {{L"Alpha", L"modems", L"Rack", 1},
                                         {L"Bravo", L"", L"Hub:Mk 2", 0},
                                         {L"Charlie", L"Command_Shell", L"Rack", 3}};
    ASSERT_EQ(loaded, ListRows(list));

    // A drop on the row itself or outside any row changes nothing.
    DragRow(list, 1, 1);
    EXPECT_EQ(loaded, ListRows(list));

    DragRow(list, 0, 2);
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list).front().server == L"Bravo"; }));
    const std::vector<ListRow> moved = {loaded[1], loaded[2], loaded[0]};
    EXPECT_EQ(moved, ListRows(list)) << "a moved row keeps its own icon";
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(sheet, kApplyNowButton)));

    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    const StoredPort stored = ReadStoredPort(0);
    ASSERT_EQ(3u, stored.entries.size());
    const char* order[] = {"Bravo", "Charlie", "Alpha"};
    const std::uint8_t lastByte[] = {12, 13, 11};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(order[i], stored.entries[i].name);
        // The service connects to the address as stored: port 1549, network order.
        EXPECT_EQ(0x06, stored.entries[i].address[2]);
        EXPECT_EQ(0x0D, stored.entries[i].address[3]);
        EXPECT_EQ(lastByte[i], stored.entries[i].address[7]);
    }
    EXPECT_EQ("Hub:Mk 2", stored.entries[0].type) << "a type with colons survives";
}

TEST_F(ChooserTest, LosingTheMouseInADragEndsItAndBringsTheCursorBack) {
    ASSERT_EQ(0, SeedPort(0, "COM1", true, {{"Alpha", "Rack", "a"}, {"Bravo", "Rack", "b"}}));
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    const HWND list = PortList(sheet, 1);
    const auto before = ListRows(list);
    DragRow(list, 0, 1, false);
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    ASSERT_TRUE(WaitUntil([&] {
        ::GetCursorInfo(&cursor);
        return (cursor.flags & CURSOR_SHOWING) == 0;
    })) << "the drag hides the cursor";
    // Another window takes the mouse (as a system dialog would).
    ::SendMessageW(CurrentPage(sheet), WM_CANCELMODE, 0, 0);
    ReleaseMouse();
    EXPECT_EQ(before, ListRows(list)) << "nothing moves";
    ASSERT_TRUE(WaitUntil([&] {
        ::GetCursorInfo(&cursor);
        return (cursor.flags & CURSOR_SHOWING) != 0;
    })) << "the cursor is back";
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

TEST_F(ChooserTest, RemoveKeepsServersAnotherPortStillLists) {
    ASSERT_EQ(0, SeedPort(0, "COM1", true, {{"Shared", "Rack", "g1", {127, 0, 0, 21}}}));
    ASSERT_EQ(0, SeedPort(1, "COM2", true,
                          {{"Shared", "Rack", "g2", {127, 0, 0, 21}}, {"Own", "Rack", "g3", {127, 0, 0, 22}}}));
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    const HWND list = PortList(sheet, 1);
    const HWND page = CurrentPage(sheet);
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(page, IDC_REMOVE))) << "nothing selected";
    SelectRow(list, 0);
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(page, IDC_REMOVE)));
    SendClick(page, IDC_REMOVE);
    EXPECT_TRUE(ListRows(list).empty());
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(page, IDC_REMOVE)));
    EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(page, IDC_COPY_TO)));

    // COM2 rebuilds its list: "Shared" must still have its address.
    const HWND list2 = PortList(sheet, 2);
    DragRow(list2, 1, 0);
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list2).front().server == L"Own"; }));
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_TRUE(ReadStoredPort(0).entries.empty());
    const StoredPort com2 = ReadStoredPort(1);
    ASSERT_EQ(2u, com2.entries.size());
    EXPECT_EQ("Shared", com2.entries[1].name);
    EXPECT_EQ(21, com2.entries[1].address[7]);
}

TEST_F(ChooserTest, CopyToAsksBeforeOverwritingAndShowsTheCopiedPort) {
    ASSERT_EQ(0, SeedPort(0, "COM1", true, {{"Alpha", "Rack", "a"}, {"Bravo", "Rack", "b"}}));
    ASSERT_EQ(0, SeedPort(2, "COM3", false, {{"Charlie", "Rack", "c"}}));
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    SelectPage(sheet, 0);
    const HWND page = CurrentPage(sheet);

    const auto copyTo = [&](const wchar_t* line) {
        PostClick(page, IDC_COPY_TO);
        const HWND dialog = run.WaitForCaption(L"Copy COM1: Config to...");
        EXPECT_NE(nullptr, dialog);
        if (dialog == nullptr) return;
        const HWND box = ::GetDlgItem(dialog, IDC_COPY_LIST);
        EXPECT_EQ(3, ::SendMessageW(box, LB_GETCOUNT, 0, 0));
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
        const LRESULT index = ::SendMessageW(box, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(line));
        ::SendMessageW(box, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_COPY_LIST, LBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
        EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, IDOK)));
        Answer(dialog, IDOK);
    };

    copyTo(L"COM3:");
    HWND question = run.WaitForMessageBox(L"Confirmation");
    ASSERT_NE(nullptr, question);
    EXPECT_NE(std::wstring::npos, MessageBoxText(question).find(L"COM3: already has remote access"));
    EXPECT_NE(std::wstring::npos, MessageBoxText(question).find(L"from COM1:."));
    Answer(question, IDNO);
    ASSERT_TRUE(WaitUntil([&] { return run.WaitForMessageBox(L"Confirmation", 0) == nullptr; }));
    EXPECT_EQ(0, ActivePageIndex(sheet)) << "No leaves both ports as they were";

    copyTo(L"COM3:");
    question = run.WaitForMessageBox(L"Confirmation");
    ASSERT_NE(nullptr, question);
    Answer(question, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return ActivePageIndex(sheet) == 2; }));
    const HWND list3 = ::GetDlgItem(CurrentPage(sheet), IDC_PORT_LIST);
    EXPECT_EQ(2u, ListRows(list3).size());
    EXPECT_EQ(1, TabImage(sheet, 2));

    // Onto a port without a list it asks nothing.
    SelectPage(sheet, 0);
    copyTo(L"COM4:");
    ASSERT_TRUE(WaitUntil([&] { return ActivePageIndex(sheet) == 3; }));
    EXPECT_EQ(nullptr, run.WaitForMessageBox(L"Confirmation", 300));

    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    for (int port : {2, 3}) {
        const StoredPort stored = ReadStoredPort(port);
        EXPECT_TRUE(stored.redirected) << port;
        ASSERT_EQ(2u, stored.entries.size()) << port;
        EXPECT_EQ("Alpha", stored.entries[0].name);
        EXPECT_EQ("b", stored.entries[1].portName);
    }
}

// The stored name of a server that the store cannot write back: the save
// fails with the library's code and the sheet stays open with the change.
TEST_F(ChooserTest, FailedSaveKeepsTheSheetOpenAndTellsWhy) {
    ScratchRegistry::SetString(L"SOFTWARE\\Quelt\\Servers\\TCP\\Odd", reg::kName, L"Odd\\Name");
    ScratchRegistry::SetString(L"SOFTWARE\\Quelt\\Servers\\TCP\\Odd", reg::kDeviceType, L"Rack");
    const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, 127, 0, 0, 5};
    ScratchRegistry::SetBinary(L"SOFTWARE\\Quelt\\Servers\\TCP\\Odd", reg::kAddress, address, sizeof address);
    ScratchRegistry::SetString(kPortKey + L"0\\Redirections\\0", reg::kEntryServer,
                               L"SOFTWARE\\Quelt\\Servers\\TCP\\Odd");
    ScratchRegistry::SetString(kPortKey + L"0\\Redirections\\0", reg::kEntryPort, L"p");

    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    SelectPage(sheet, 0);
    SendClick(CurrentPage(sheet), IDC_REDIRECT);
    Answer(sheet, IDOK);
    const HWND box = run.WaitForMessageBox(L"Quelt Chooser");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"A required networking file")) << "the text of -5";
    Answer(box, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return run.WaitForMessageBox(L"Quelt Chooser", 0) == nullptr; }));
    EXPECT_FALSE(run.WaitFinished(500)) << "the sheet stays open";
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(sheet, kApplyNowButton))) << "the changes are still pending";
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
}

TEST_F(ChooserTest, MoreThanTwentyFiveEntriesLoadTwentyFiveAndSayTheRestIsDropped) {
    std::vector<SeedEntry> entries;
    for (int i = 0; i < 30; ++i)
        entries.push_back({"Server" + std::to_string(i), "Rack", "g", {127, 0, 1, static_cast<std::uint8_t>(i)}});
    ASSERT_EQ(0, SeedPort(0, "COM1", true, entries));
    ChooserRun run(m_applet);
    const HWND box = run.WaitForMessageBox(L"Quelt Chooser");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"COM1: has 30 remote access devices"));
    Answer(box, IDOK);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    const HWND list = PortList(sheet, 1);
    EXPECT_EQ(25u, ListRows(list).size());
    DragRow(list, 0, 1);
    ASSERT_TRUE(WaitUntil([&] { return ListRows(list).front().server == L"Server1"; }));
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    const StoredPort stored = ReadStoredPort(0);
    ASSERT_EQ(25u, stored.entries.size());
    EXPECT_EQ("Server24", stored.entries[24].name);
}

TEST_F(ChooserTest, APortThatCannotBeReadIsNotOverwrittenBySavingOthers) {
    // COM2's key has entries but no DOS name: reading it fails.
    ASSERT_EQ(0, SeedPort(1, "COM2", true, {{"Kept", "Rack", "k"}}));
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, (kPortKey + L"1").c_str(), reg::kDosDevices);
    ChooserRun run(m_applet);
    const HWND box = run.WaitForMessageBox(L"Quelt Chooser");
    ASSERT_NE(nullptr, box);
    EXPECT_NE(std::wstring::npos, MessageBoxText(box).find(L"Failed getting port redirections for port 2; retval = -8"));
    Answer(box, IDOK);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    SelectPage(sheet, 0);
    SendClick(CurrentPage(sheet), IDC_REDIRECT);
    Answer(sheet, IDOK);
    ASSERT_TRUE(run.WaitFinished());
    EXPECT_TRUE(ReadStoredPort(0).redirected);
    EXPECT_FALSE(ScratchRegistry::GetString(kPortKey + L"1", reg::kDosDevices).has_value());
    const auto entry = ScratchRegistry::GetString(kPortKey + L"1\\Redirections\\0", reg::kEntryPort);
    EXPECT_EQ(L"k", entry.value_or(L"")) << "the unreadable port's list is still there";
}

TEST_F(ChooserTest, SheetPositionIsRestoredWithItsOwnSizeAndSavedOnClose) {
    const kvr::RegKey user = kvr::RegKey::Create(HKEY_CURRENT_USER, reg::kChooserUserKey);
    ASSERT_TRUE(user.WriteText(reg::kChooserPosition, L"40:60:45:65"));  // top:left:bottom:right
    ChooserRun run(m_applet);
    const HWND sheet = run.WaitForSheet();
    ASSERT_NE(nullptr, sheet);
    RECT r{};
    ::GetWindowRect(sheet, &r);
    EXPECT_EQ(60, r.left);
    EXPECT_EQ(40, r.top);
    EXPECT_GT(r.right - r.left, 100) << "the stored size is not taken";
    ::SetWindowPos(sheet, nullptr, 70, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ::GetWindowRect(sheet, &r);
    Answer(sheet, IDCANCEL);
    ASSERT_TRUE(run.WaitFinished());
    const std::wstring expected = std::to_wstring(r.top) + L":" + std::to_wstring(r.left) + L":" +
                                  std::to_wstring(r.bottom) + L":" + std::to_wstring(r.right);
    EXPECT_EQ(expected, user.ReadText(reg::kChooserPosition).value_or(L""));
}

}  // namespace
}  // namespace kvr::test
