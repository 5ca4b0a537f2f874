// Message maps: which handler each message reaches (by id and notification
// code, the most derived table first, through a class without a table of its
// own, on to the base's), what comes back, and what happens when a handler
// declines or throws. Then the same routing with real controls in a dialog,
// and a system control taken over by SubclassWindow.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Controls.h"
#include "Dialog.h"
#include "FrameworkTestRes.h"
#include "Resources.h"
#include "Window.h"

namespace kvr {
namespace {

using Sequence = std::vector<std::string>;

constexpr UINT kIdSave = 101, kIdOpen = 102, kIdName = 103, kIdList = 104, kIdOther = 105;
constexpr UINT kMsgDeclined = WM_APP + 1, kMsgThrows = WM_APP + 2, kMsgBaseOnly = WM_APP + 3;
constexpr UINT kTimerPoll = 3;
constexpr UINT kAboutCommand = 0x0010;  // one an application adds to its system menu

class CBaseWnd : public CWnd {
    KVR_DECLARE_MESSAGE_MAP()
public:
    Sequence m_journal;

protected:
    void OnSave() { m_journal.push_back("base save"); }
    void OnOpenClicked() { m_journal.push_back("base open clicked"); }
    LRESULT OnListDoubleClick(NMHDR& header) {
        m_journal.push_back("base list double click from " + std::to_string(header.idFrom));
        return 7;
    }
    LRESULT OnAnyClick(NMHDR& header) {
        m_journal.push_back("base click from " + std::to_string(header.idFrom));
        return 8;
    }
    bool OnDeclined(WPARAM, LPARAM, LRESULT& result) {
        m_journal.push_back("base takes the declined");
        result = 11;
        return true;
    }
    bool OnBaseOnly(WPARAM wParam, LPARAM, LRESULT& result) {
        m_journal.push_back("base only " + std::to_string(wParam));
        result = 12;
        return true;
    }
};

KVR_BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
KVR_ON_COMMAND_ID(kIdSave, OnSave)
KVR_ON_BN_CLICKED(kIdOpen, OnOpenClicked)
KVR_ON_NOTIFY(NM_DBLCLK, kIdList, OnListDoubleClick)
KVR_ON_NOTIFY(NM_CLICK, kAnyCode, OnAnyClick)
KVR_ON_MESSAGE(kMsgDeclined, OnDeclined)
KVR_ON_MESSAGE(kMsgBaseOnly, OnBaseOnly)
KVR_END_MESSAGE_MAP()

// No table of its own: the derived table chains through it to the base's.
class CMiddleWnd : public CBaseWnd {};

class CDerivedWnd : public CMiddleWnd {
    KVR_DECLARE_MESSAGE_MAP()
public:
    bool Create() {
        const HINSTANCE instance = ResourceModule();
        RegisterWindowClass(instance, L"KvrTestRouting", nullptr, nullptr, nullptr);
        return CreateEx(0, instance, L"KvrTestRouting", L"Routing", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr);
    }

protected:
    void OnSaveClicked() { m_journal.push_back("derived save clicked"); }
    void OnNameChanged() { m_journal.push_back("derived name changed"); }
    LRESULT OnListClick(NMHDR& header) {
        m_journal.push_back("derived list click from " + std::to_string(header.idFrom));
        return 5;
    }
    LRESULT OnItemChanged(NMHDR& header) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        m_journal.push_back("derived item " + std::to_string(change.iItem) + " changed");
        return 0;
    }
    bool OnDeclined(WPARAM, LPARAM, LRESULT& result) {
        m_journal.push_back("derived declines");
        result = 99;  // not the answer: a declining handler's result is dropped
        return false;
    }
    bool OnThrows(WPARAM, LPARAM, LRESULT&) {
        m_journal.push_back("derived throws");
        throw std::runtime_error("handler failed");
    }
    bool OnPoll(WPARAM, LPARAM, LRESULT& result) {
        m_journal.push_back("derived poll timer");
        result = 0;
        return true;
    }
    bool OnClose(WPARAM, LPARAM, LRESULT& result) {
        m_journal.push_back("derived close command");
        result = 0;
        return true;
    }
    bool OnAbout(WPARAM, LPARAM, LRESULT& result) {
        m_journal.push_back("derived about command");
        result = 0;
        return true;
    }
};

KVR_BEGIN_MESSAGE_MAP(CDerivedWnd, CMiddleWnd)
KVR_ON_BN_CLICKED(kIdSave, OnSaveClicked)
KVR_ON_CONTROL(EN_CHANGE, kIdName, OnNameChanged)
KVR_ON_NOTIFY(NM_CLICK, kIdList, OnListClick)
KVR_ON_NOTIFY(LVN_ITEMCHANGED, kIdList, OnItemChanged)
KVR_ON_MESSAGE(kMsgDeclined, OnDeclined)
KVR_ON_MESSAGE(kMsgThrows, OnThrows)
KVR_ON_TIMER(kTimerPoll, OnPoll)
KVR_ON_SYSCOMMAND(SC_CLOSE, OnClose)
KVR_ON_SYSCOMMAND(kAboutCommand, OnAbout)
KVR_END_MESSAGE_MAP()

struct RouteCase {
    const char* name;
    UINT message;
    WPARAM wParam;
    UINT notifyId;    // WM_NOTIFY only
    UINT notifyCode;  // WM_NOTIFY only
    Sequence expected;
    LRESULT result;
};

TEST(MessageMap, EachMessageReachesTheMostDerivedMatchingHandler) {
    const HWND from = reinterpret_cast<HWND>(0x1234);
    const RouteCase cases[] = {
        {"click of a derived id", WM_COMMAND, MAKEWPARAM(kIdSave, BN_CLICKED), 0, 0, {"derived save clicked"}, 0},
        {"another code of that id goes to the base's any-code entry", WM_COMMAND, MAKEWPARAM(kIdSave, BN_SETFOCUS),
         0, 0, {"base save"}, 0},
        {"an accelerator with that id", WM_COMMAND, MAKEWPARAM(kIdSave, 1), 0, 0, {"base save"}, 0},
        {"a menu item with that id", WM_COMMAND, MAKEWPARAM(kIdSave, 0), 0, 0, {"derived save clicked"}, 0},
        {"a base-only click", WM_COMMAND, MAKEWPARAM(kIdOpen, BN_CLICKED), 0, 0, {"base open clicked"}, 0},
        {"a code nobody listens for", WM_COMMAND, MAKEWPARAM(kIdOpen, BN_DOUBLECLICKED), 0, 0, {}, 0},
        {"an edit's change", WM_COMMAND, MAKEWPARAM(kIdName, EN_CHANGE), 0, 0, {"derived name changed"}, 0},
        {"another edit notification", WM_COMMAND, MAKEWPARAM(kIdName, EN_UPDATE), 0, 0, {}, 0},
        {"an unknown id", WM_COMMAND, MAKEWPARAM(kIdOther, BN_CLICKED), 0, 0, {}, 0},
        {"a notification by id and code", WM_NOTIFY, 0, kIdList, NM_CLICK, {"derived list click from 104"}, 5},
        {"the same code from another id goes to the any-id entry", WM_NOTIFY, 0, kIdOther, NM_CLICK,
         {"base click from 105"}, 8},
        {"a base notification", WM_NOTIFY, 0, kIdList, NM_DBLCLK, {"base list double click from 104"}, 7},
        {"a notification of a negative code with its own structure", WM_NOTIFY, 0, kIdList, LVN_ITEMCHANGED,
         {"derived item 3 changed"}, 0},
        {"the base's notification from another id", WM_NOTIFY, 0, kIdOther, NM_DBLCLK, {}, 0},
        {"a handler that declines falls through to the base", kMsgDeclined, 0, 0, 0,
         {"derived declines", "base takes the declined"}, 11},
        {"a message only the base handles", kMsgBaseOnly, 4, 0, 0, {"base only 4"}, 12},
        {"an exception stops at the window procedure", kMsgThrows, 0, 0, 0, {"derived throws"}, 0},
        {"a timer by id", WM_TIMER, kTimerPoll, 0, 0, {"derived poll timer"}, 0},
        {"another timer", WM_TIMER, kTimerPoll + 1, 0, 0, {}, 0},
        {"a system command with its flag bits", WM_SYSCOMMAND, SC_CLOSE | 0x2, 0, 0, {"derived close command"}, 0},
        {"an application's system command matches exactly", WM_SYSCOMMAND, kAboutCommand, 0, 0,
         {"derived about command"}, 0},
        {"a neighbour of it does not", WM_SYSCOMMAND, kAboutCommand + 2, 0, 0, {}, 0},
    };
    CDerivedWnd window;
    ASSERT_TRUE(window.Create());
    for (const RouteCase& c : cases) {
        window.m_journal.clear();
        NMLISTVIEW notify{};
        notify.hdr.hwndFrom = from;
        notify.hdr.idFrom = c.notifyId;
        notify.hdr.code = c.notifyCode;
        notify.iItem = 3;
        const LPARAM lParam = c.message == WM_NOTIFY ? reinterpret_cast<LPARAM>(&notify) : 0;
        const LRESULT result = window.SendMessage(c.message, c.wParam, lParam);
        EXPECT_EQ(window.m_journal, c.expected) << c.name;
        EXPECT_EQ(result, c.result) << c.name;
    }
    // The window outlived the exception.
    window.m_journal.clear();
    EXPECT_EQ(window.SendMessage(kMsgBaseOnly, 1), 12);
    EXPECT_TRUE(window.IsWindow());
}

// A window of a framework class made by someone else (a dialog template's
// custom control, say) carries no object: it must get the default handling.
TEST(MessageMap, WindowOfTheClassWithoutAnObjectGetsTheDefaultProcedure) {
    const HINSTANCE instance = ResourceModule();
    ASSERT_TRUE(CWnd::RegisterWindowClass(instance, L"KvrTestNoObject", nullptr, nullptr, nullptr));
    const HWND window = ::CreateWindowExW(0, L"KvrTestNoObject", L"bare", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50,
                                          nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window, nullptr);
    wchar_t text[16] = {};
    ::GetWindowTextW(window, text, 16);
    EXPECT_STREQ(text, L"bare");
    EXPECT_TRUE(::DestroyWindow(window));
}

// Real controls in a dialog: their own notifications reach the typed handlers.
class CRoutingDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    CRoutingDialog() : CDialog(ResourceModule(), IDD_ROUTING) {}
    Sequence m_journal;

protected:
    BOOL OnInitDialog() override {
        CListView list(m_hWnd, IDC_ROUTE_LIST);
        list.InsertColumn(0, L"Name", 100);
        return TRUE;
    }
    void OnOK() override { m_journal.push_back("ok"); }
    void OnButton() { m_journal.push_back("button clicked"); }
    void OnEditChange() { m_journal.push_back("edit changed to " + ToAnsi(GetItemText(IDC_ROUTE_EDIT))); }
    LRESULT OnInsertItem(NMHDR& header) {
        m_journal.push_back("item " + std::to_string(reinterpret_cast<NMLISTVIEW&>(header).iItem) + " inserted");
        return 0;
    }
    void OnCancelCommand() {
        m_journal.push_back("cancel throws");
        throw std::runtime_error("cancel failed");
    }
};

KVR_BEGIN_MESSAGE_MAP(CRoutingDialog, CDialog)
KVR_ON_BN_CLICKED(IDC_ROUTE_BUTTON, OnButton)
KVR_ON_CONTROL(EN_CHANGE, IDC_ROUTE_EDIT, OnEditChange)
KVR_ON_NOTIFY(LVN_INSERTITEM, IDC_ROUTE_LIST, OnInsertItem)
KVR_ON_COMMAND_ID(IDCANCEL, OnCancelCommand)
KVR_END_MESSAGE_MAP()

TEST(MessageMap, ControlsOfADialogReachTheTypedHandlers) {
    CRoutingDialog dialog;
    ASSERT_TRUE(dialog.Create());
    CButton(dialog.m_hWnd, IDC_ROUTE_BUTTON).Click();
    CEdit(dialog.m_hWnd, IDC_ROUTE_EDIT).SetText(L"COM3");
    CListView(dialog.m_hWnd, IDC_ROUTE_LIST).InsertItem(0, L"first", -1);
    CButton(dialog.m_hWnd, IDOK).Click();
    CButton(dialog.m_hWnd, IDCANCEL).Click();
    EXPECT_EQ(dialog.m_journal, (Sequence{"button clicked", "edit changed to COM3", "item 0 inserted", "ok",
                                          "cancel throws"}));
    EXPECT_TRUE(dialog.IsWindow()) << "the exception stopped at the dialog procedure";
    dialog.DestroyWindow();
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

// Takes digits away from an edit control; everything else reaches the
// control's own procedure.
class CDigitEater : public CWnd {
    KVR_DECLARE_MESSAGE_MAP()
public:
    Sequence m_journal;

protected:
    bool OnChar(WPARAM wParam, LPARAM, LRESULT& result) {
        if (wParam < L'0' || wParam > L'9') return false;
        m_journal.push_back(std::string("ate ") + static_cast<char>(wParam));
        result = 0;
        return true;
    }
    bool OnThrowingMessage(WPARAM, LPARAM, LRESULT&) { throw std::runtime_error("subclass handler failed"); }
    void PostNcDestroy() override { m_journal.push_back("released"); }
};

KVR_BEGIN_MESSAGE_MAP(CDigitEater, CWnd)
KVR_ON_MESSAGE(WM_CHAR, OnChar)
KVR_ON_MESSAGE(kMsgThrows, OnThrowingMessage)
KVR_END_MESSAGE_MAP()

class SubclassTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_parent = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                     nullptr, nullptr);
        m_edit = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 150, 20, m_parent, nullptr,
                                   nullptr, nullptr);
        ASSERT_NE(m_edit, nullptr);
        m_original = ::GetWindowLongPtrW(m_edit, GWLP_WNDPROC);
    }
    void TearDown() override { ::DestroyWindow(m_parent); }

    void Type(const wchar_t* text) {
        for (const wchar_t* c = text; *c != L'\0'; ++c) ::SendMessageW(m_edit, WM_CHAR, *c, 1);
    }
    std::wstring Text() const {
        wchar_t text[64] = {};
        ::GetWindowTextW(m_edit, text, 64);
        return text;
    }

    HWND m_parent = nullptr;
    HWND m_edit = nullptr;
    LONG_PTR m_original = 0;
};

TEST_F(SubclassTest, HandlerTableGoesFirstAndTheControlDoesTheRest) {
    CDigitEater eater;
    ASSERT_TRUE(eater.SubclassWindow(m_edit));
    EXPECT_EQ(eater.GetSafeHwnd(), m_edit);
    Type(L"a1b2");
    EXPECT_EQ(Text(), L"ab");
    EXPECT_EQ(eater.m_journal, (Sequence{"ate 1", "ate 2"}));
    EXPECT_EQ(::SendMessageW(m_edit, kMsgThrows, 0, 0), 0);

    EXPECT_EQ(eater.UnsubclassWindow(), m_edit);
    EXPECT_EQ(eater.GetSafeHwnd(), nullptr);
    EXPECT_EQ(::GetWindowLongPtrW(m_edit, GWLP_WNDPROC), m_original);
    Type(L"3");
    EXPECT_EQ(Text(), L"ab3");
    EXPECT_EQ(eater.UnsubclassWindow(), nullptr) << "nothing left to let go";
}

TEST_F(SubclassTest, OneWindowOneObject) {
    CDigitEater first, second;
    EXPECT_FALSE(first.SubclassWindow(nullptr));
    ASSERT_TRUE(first.SubclassWindow(m_edit));
    EXPECT_FALSE(second.SubclassWindow(m_edit)) << "the window is taken";
    EXPECT_FALSE(first.SubclassWindow(m_parent)) << "the object is taken";
    Type(L"7");
    EXPECT_EQ(first.m_journal, Sequence{"ate 7"});
    EXPECT_TRUE(second.m_journal.empty());
}

TEST_F(SubclassTest, DestroyedControlLetsItsObjectGo) {
    CDigitEater eater;
    ASSERT_TRUE(eater.SubclassWindow(m_edit));
    ::DestroyWindow(m_edit);
    EXPECT_EQ(eater.GetSafeHwnd(), nullptr);
    EXPECT_EQ(eater.m_journal, Sequence{"released"});
    EXPECT_EQ(eater.UnsubclassWindow(), nullptr);
}

TEST_F(SubclassTest, ObjectGoingFirstGivesTheControlBackAlive) {
    {
        CDigitEater eater;
        ASSERT_TRUE(eater.SubclassWindow(m_edit));
    }
    EXPECT_TRUE(::IsWindow(m_edit));
    EXPECT_EQ(::GetWindowLongPtrW(m_edit, GWLP_WNDPROC), m_original);
    Type(L"x9");
    EXPECT_EQ(Text(), L"x9");
}

}  // namespace
}  // namespace kvr
