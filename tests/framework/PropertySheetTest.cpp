// The modal property sheet and its pages, driven as a user drives them. Each
// case is a script of steps run one at a time from messages posted on the
// sheet's own thread (a step runs only once what the previous one posted has
// been handled); the pages' virtual calls and the script's observations come
// out as one sequence, compared whole.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Controls.h"
#include "Dialog.h"
#include "FrameworkTestRes.h"
#include "MessageLoop.h"
#include "PropertySheet.h"
#include "Resources.h"

namespace kvr {
namespace {

using Sequence = std::vector<std::string>;

// What a page answers when the sheet asks it.
struct PageScript {
    bool refuseKillActive = false;
    bool refuseApply = false;
    bool throwOnApply = false;
    bool refuseCancel = false;
    bool hasHelp = false;
};

class CTestPage : public CPropertyPage {
public:
    CTestPage(Sequence& journal, int number, PageScript script, UINT templateId = 0)
        : CPropertyPage(ResourceModule(), templateId ? templateId : IDD_PAGE_ONE + static_cast<UINT>(number) - 1),
          m_journal(journal),
          m_name("page" + std::to_string(number)),
          m_script(script) {
        SetHelp(script.hasHelp);
    }

protected:
    BOOL OnInitDialog() override {
        Note("init");
        return TRUE;
    }
    bool OnSetActive() override {
        Note("set active");
        return true;
    }
    bool OnKillActive() override {
        Note("kill active");
        return !m_script.refuseKillActive;
    }
    bool OnApply() override {
        Note("apply");
        if (m_script.throwOnApply) throw std::runtime_error("the store failed");
        return !m_script.refuseApply;
    }
    void OnReset() override { Note("reset"); }
    bool OnQueryCancel() override {
        Note("query cancel");
        return !m_script.refuseCancel;
    }
    void OnHelp() override { Note("help"); }

private:
    void Note(const char* what) { m_journal.push_back(m_name + " " + what); }

    Sequence& m_journal;
    std::string m_name;
    PageScript m_script;
};

class CTestSheet : public CPropertySheet {
public:
    CTestSheet(Sequence& journal, UINT startPage)
        : CPropertySheet(ResourceModule(), L"Framework test sheet", startPage), m_journal(journal) {}

protected:
    // Says what it finds: the window, subclassed, with every tab and the
    // start page made, and not shown yet.
    void OnInitSheet() override {
        std::string note = "sheet init";
        if (m_hWnd == nullptr || !::IsWindow(m_hWnd)) note += " without a window";
        if (m_hWnd != nullptr && ::IsWindowVisible(m_hWnd)) note += " already shown";
        if (m_hWnd != nullptr && CTabCtrl(GetTabControl()).GetItemCount() != PageCount()) note += " without its tabs";
        if (m_hWnd != nullptr && GetPage(static_cast<int>(m_startIndex))->GetSafeHwnd() == nullptr)
            note += " without its start page";
        m_journal.push_back(note);
        if (m_openOn > 0) SetActivePage(m_openOn - 1);
    }

public:
    UINT m_startIndex = 0;
    int m_openOn = 0;  // the page OnInitSheet turns to, if any

private:
    Sequence& m_journal;
};

// A modeless dialog beside the sheet; it only notes its keyboard commands.
class CBesideDialog : public CDialog {
public:
    CBesideDialog(Sequence& journal, std::string name)
        : CDialog(ResourceModule(), IDD_MODELESS), m_journal(journal), m_name(std::move(name)) {}

protected:
    void OnOK() override { m_journal.push_back(m_name + " ok"); }
    void OnCancel() override { m_journal.push_back(m_name + " cancel"); }

private:
    Sequence& m_journal;
    std::string m_name;
};

struct SheetRun;
using Step = std::function<void(SheetRun&)>;

constexpr UINT kStepMessage = WM_APP + 40;

// Runs the steps from posted messages on a message-only window of the sheet's
// thread. Whatever is still posted when a step is due goes first; once the
// steps are done a sheet still open is noted and destroyed, so a case that
// goes wrong ends instead of hanging.
class CStepper : public CWnd {
    KVR_DECLARE_MESSAGE_MAP()
public:
    explicit CStepper(SheetRun& run) : m_run(run) {
        const HINSTANCE instance = ResourceModule();
        RegisterWindowClass(instance, L"KvrTestStepper", nullptr, nullptr, nullptr);
        CreateEx(0, instance, L"KvrTestStepper", L"", 0, 0, 0, 0, 0, HWND_MESSAGE);
    }
    void Start() { PostMessage(kStepMessage); }

private:
    bool OnStep(WPARAM, LPARAM, LRESULT&);

    SheetRun& m_run;
    std::size_t m_next = 0;
    int m_waits = 0;
};

KVR_BEGIN_MESSAGE_MAP(CStepper, CWnd)
KVR_ON_MESSAGE(kStepMessage, OnStep)
KVR_END_MESSAGE_MAP()

struct SheetCase {
    const char* name;
    UINT startPage;
    std::vector<PageScript> pages;
    std::vector<Step> steps;
    Sequence expected;
    INT_PTR result;
    DWORD sheetFlags = 0;
    int openOn = 0;
};

struct SheetRun {
    explicit SheetRun(const SheetCase& c) : sheet(journal, c.startPage), steps(c.steps) {
        sheet.m_startIndex = c.startPage;
        sheet.m_openOn = c.openOn;
        for (std::size_t i = 0; i < c.pages.size(); ++i) {
            pages.push_back(std::make_unique<CTestPage>(journal, static_cast<int>(i) + 1, c.pages[i]));
            sheet.AddPage(pages.back().get());
        }
        sheet.SetFlags(c.sheetFlags);
    }
    HWND Sheet() const { return sheet.GetSafeHwnd(); }
    HWND PageWindow(int number) const { return pages[static_cast<std::size_t>(number - 1)]->GetSafeHwnd(); }
    void Note(std::string entry) { journal.push_back(std::move(entry)); }
    INT_PTR Run(HWND sheetOwner) {
        owner = sheetOwner;
        CStepper stepper(*this);
        stepper.Start();
        return sheet.DoModal(sheetOwner);
    }

    Sequence journal;
    std::vector<std::unique_ptr<CTestPage>> pages;
    CTestSheet sheet;
    std::vector<Step> steps;
    std::vector<std::unique_ptr<CBesideDialog>> beside;
    HWND owner = nullptr;
};

bool CStepper::OnStep(WPARAM, LPARAM, LRESULT& result) {
    result = 0;
    if (HIWORD(::GetQueueStatus(QS_POSTMESSAGE)) != 0 && ++m_waits < 50) {
        PostMessage(kStepMessage);
        return true;
    }
    m_waits = 0;
    if (m_next < m_run.steps.size()) {
        m_run.steps[m_next++](m_run);
        PostMessage(kStepMessage);
    } else if (m_run.Sheet() != nullptr) {
        m_run.Note("still open");
        ::DestroyWindow(m_run.Sheet());
    }
    return true;
}

std::string PageName(int number) { return "page" + std::to_string(number); }

Step Select(int number) {
    return [number](SheetRun& r) {
        if (!r.sheet.SetActivePage(number - 1)) r.Note("select " + PageName(number) + " refused");
    };
}

// A click on a tab, as the mouse gives it.
Step ClickTab(int number) {
    return [number](SheetRun& r) {
        const HWND tab = r.sheet.GetTabControl();
        RECT rect{};
        ::SendMessageW(tab, TCM_GETITEMRECT, static_cast<WPARAM>(number - 1), reinterpret_cast<LPARAM>(&rect));
        const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        ::SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::SendMessageW(tab, WM_LBUTTONUP, 0, at);
    };
}

Step Click(int id) {
    return [id](SheetRun& r) { CButton(r.Sheet(), id).Click(); };
}

Step PressOk() {
    return [](SheetRun& r) { ::SendMessageW(r.Sheet(), PSM_PRESSBUTTON, PSBTN_OK, 0); };
}

// The close box of the caption.
Step CloseBox() {
    return [](SheetRun& r) { ::SendMessageW(r.Sheet(), WM_SYSCOMMAND, SC_CLOSE, 0); };
}

Step Modify(int number, bool modified = true) {
    return [=](SheetRun& r) { r.pages[static_cast<std::size_t>(number - 1)]->SetModified(modified); };
}

Step NoteApplyButton() {
    return [](SheetRun& r) {
        r.Note(CButton(r.Sheet(), kApplyNowButton).IsEnabled() ? "apply button on" : "apply button off");
    };
}

Step NoteActivePage() {
    return [](SheetRun& r) {
        const int index = r.sheet.GetActiveIndex();
        if (index < 0 || index >= static_cast<int>(r.pages.size())) return r.Note("on no page");
        const auto current = reinterpret_cast<HWND>(::SendMessageW(r.Sheet(), PSM_GETCURRENTPAGEHWND, 0, 0));
        std::string note = "on " + PageName(index + 1);
        if (current != r.PageWindow(index + 1)) note += " (another page shown)";
        r.Note(note);
    };
}

Step NoteOwner() {
    return [](SheetRun& r) { r.Note(::IsWindowEnabled(r.owner) ? "owner enabled" : "owner disabled"); };
}

// A key posted to a control, as the keyboard gives it: through the thread's
// message loop and so its filters.
Step PressKey(std::function<HWND(SheetRun&)> target, UINT key) {
    return [target = std::move(target), key](SheetRun& r) {
        const HWND window = target(r);
        ::PostMessageW(window, WM_KEYDOWN, key, 1);
        ::PostMessageW(window, WM_KEYUP, key, 0xC0000001);
    };
}

HWND PageEdit(SheetRun& r, int number) { return ::GetDlgItem(r.PageWindow(number), IDC_PAGE_EDIT); }

Step OpenBeside(std::string name) {
    return [name = std::move(name)](SheetRun& r) {
        r.beside.push_back(std::make_unique<CBesideDialog>(r.journal, name));
        if (!r.beside.back()->Create(r.Sheet())) r.Note(name + " not made");
    };
}

Step CloseBeside(std::size_t index) {
    return [index](SheetRun& r) { r.beside[index]->DestroyWindow(); };
}

HWND BesideEdit(SheetRun& r, std::size_t index) {
    return ::GetDlgItem(r.beside[index]->GetSafeHwnd(), IDC_MODELESS_EDIT);
}

class PropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitCommonControls();
        // Not shown: each top-level window shown costs seconds under Xvfb.
        m_owner = ::CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_owner, nullptr);
    }
    void TearDown() override { ::DestroyWindow(m_owner); }

    HWND m_owner = nullptr;
};

const std::vector<PageScript> kThreePages(3);

TEST_F(PropertySheetTest, PagesSeeTheUserActionsInOrder) {
    const PageScript refuseLeaving{.refuseKillActive = true};
    const PageScript refuseApplying{.refuseApply = true};
    const PageScript throwOnApplying{.throwOnApply = true};
    const PageScript refuseCancelling{.refuseCancel = true};
    const SheetCase cases[] = {
        {"ok applies every page that was made, and only those",
         0,
         kThreePages,
         {Select(2), Click(IDOK)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page2 init", "page2 set active",
          "page2 kill active", "page1 apply", "page2 apply"},
         IDOK},
        {"the sheet opens on its start page",
         1,
         kThreePages,
         {NoteActivePage(), Click(IDOK)},
         {"page2 init", "page2 set active", "sheet init", "on page2", "page2 kill active", "page2 apply"},
         IDOK},
        {"the page the set-up turns to is the one the sheet opens on",
         0,
         kThreePages,
         {NoteActivePage(), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page3 init", "page3 set active",
          "on page3", "page3 query cancel", "page1 reset", "page3 reset"},
         IDCANCEL,
         0,
         3},
        {"a tab click switches pages like the message does",
         0,
         kThreePages,
         {ClickTab(3), NoteActivePage(), ClickTab(1), NoteActivePage(), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page3 init", "page3 set active",
          "on page3", "page3 kill active", "page1 set active", "on page1", "page1 query cancel", "page1 reset",
          "page3 reset"},
         IDCANCEL},
        {"cancel asks the current page, then resets every page made",
         0,
         kThreePages,
         {Select(2), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page2 init", "page2 set active",
          "page2 query cancel", "page1 reset", "page2 reset"},
         IDCANCEL},
        {"a page refusing to be left keeps its place",
         0,
         {refuseLeaving, {}, {}},
         {Select(2), ClickTab(2), NoteActivePage(), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "select page2 refused",
          "page1 kill active", "on page1", "page1 query cancel", "page1 reset"},
         IDCANCEL},
        {"ok on a page refusing to be left applies nothing and stays open",
         0,
         {refuseLeaving, {}, {}},
         {Click(IDOK), NoteActivePage(), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "on page1", "page1 query cancel",
          "page1 reset"},
         IDCANCEL},
        {"a refused apply keeps the sheet open on its page",
         0,
         {refuseApplying, {}, {}},
         {Select(2), Click(IDOK), NoteActivePage(), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page2 init", "page2 set active",
          "page2 kill active", "page1 apply", "on page2", "page2 query cancel", "page1 reset", "page2 reset"},
         IDCANCEL},
        {"an apply that throws is a refused apply",
         0,
         {throwOnApplying, {}, {}},
         {Click(IDOK), NoteActivePage(), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page1 apply", "on page1",
          "page1 query cancel", "page1 reset"},
         IDCANCEL},
        {"ok refused, then the close box: the sheet was cancelled",
         0,
         {refuseApplying, {}, {}},
         {Click(IDOK), CloseBox()},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page1 apply", "page1 query cancel",
          "page1 reset"},
         IDCANCEL},
        {"ok pressed by message ends the sheet as the button does",
         0,
         kThreePages,
         {Select(2), PressOk()},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page2 init", "page2 set active",
          "page2 kill active", "page1 apply", "page2 apply"},
         IDOK},
        {"a refused cancel keeps the sheet open, ok then ends it",
         0,
         {refuseCancelling, {}, {}},
         {Click(IDCANCEL), NoteActivePage(), Click(IDOK)},
         {"page1 init", "page1 set active", "sheet init", "page1 query cancel", "on page1", "page1 kill active",
          "page1 apply"},
         IDOK},
        {"escape in a page cancels the sheet, through the thread's filters",
         0,
         kThreePages,
         {PressKey([](SheetRun& r) { return PageEdit(r, 1); }, VK_ESCAPE)},
         {"page1 init", "page1 set active", "sheet init", "page1 query cancel", "page1 reset"},
         IDCANCEL},
        {"help goes to the current page",
         0,
         {PageScript{}, PageScript{.hasHelp = true}, PageScript{}},
         {Select(2), Click(IDHELP), Click(IDCANCEL)},
         {"page1 init", "page1 set active", "sheet init", "page1 kill active", "page2 init", "page2 set active",
          "page2 help", "page2 query cancel", "page1 reset", "page2 reset"},
         IDCANCEL,
         PSH_HASHELP},
    };
    for (const SheetCase& c : cases) {
        SheetRun run(c);
        const INT_PTR result = run.Run(m_owner);
        EXPECT_EQ(run.journal, c.expected) << c.name;
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(run.Sheet(), nullptr) << c.name;
    }
}

TEST_F(PropertySheetTest, ApplyButtonFollowsTheModifiedPages) {
    const SheetCase c{"apply",
                      0,
                      kThreePages,
                      {NoteApplyButton(), Modify(1), NoteApplyButton(), Select(2), Modify(2), Modify(1, false),
                       NoteApplyButton(), Modify(2, false), NoteApplyButton(), Modify(2), Click(kApplyNowButton),
                       NoteApplyButton(), NoteActivePage(), Click(IDCANCEL)},
                      {"page1 init", "page1 set active", "sheet init", "apply button off", "apply button on",
                       "page1 kill active", "page2 init", "page2 set active", "apply button on", "apply button off",
                       // Apply asks the current page to be left, applies every page made,
                       // and then makes the current page active again.
                       "page2 kill active", "page1 apply", "page2 apply", "page2 set active", "apply button off",
                       "on page2", "page2 query cancel", "page1 reset", "page2 reset"},
                      IDCANCEL};
    SheetRun run(c);
    EXPECT_EQ(run.Run(m_owner), IDCANCEL);
    EXPECT_EQ(run.journal, c.expected);
}

TEST_F(PropertySheetTest, OwnerIsDisabledWhileTheSheetRunsAndKeepsItsStateAfter) {
    for (const bool ownerEnabled : {true, false}) {
        ::EnableWindow(m_owner, ownerEnabled);
        SheetRun run({"owner", 0, kThreePages, {NoteOwner(), Click(IDOK)}, {}, IDOK});
        EXPECT_EQ(run.Run(m_owner), IDOK);
        EXPECT_EQ(run.journal,
                  (Sequence{"page1 init", "page1 set active", "sheet init", "owner disabled", "page1 kill active",
                            "page1 apply"}));
        EXPECT_EQ(::IsWindowEnabled(m_owner) != FALSE, ownerEnabled);
    }
    ::EnableWindow(m_owner, TRUE);
}

// The sheet's filter must leave other dialogs' keys alone, and each modeless
// dialog of the thread gets its own, before and while the sheet runs.
TEST_F(PropertySheetTest, ModelessDialogsBesideTheSheetKeepTheirKeyboard) {
    SheetCase c{"beside",
                0,
                kThreePages,
                {OpenBeside("during"),
                 PressKey([](SheetRun& r) { return BesideEdit(r, 1); }, VK_ESCAPE),
                 PressKey([](SheetRun& r) { return BesideEdit(r, 0); }, VK_ESCAPE),
                 CloseBeside(1),
                 PressKey([](SheetRun& r) { return BesideEdit(r, 0); }, VK_ESCAPE),
                 PressKey([](SheetRun& r) { return PageEdit(r, 1); }, VK_ESCAPE)},
                {"page1 init", "page1 set active", "sheet init", "during cancel", "before cancel", "before cancel",
                 "page1 query cancel", "page1 reset"},
                IDCANCEL};
    SheetRun run(c);
    run.beside.push_back(std::make_unique<CBesideDialog>(run.journal, "before"));
    ASSERT_TRUE(run.beside[0]->Create(m_owner));
    EXPECT_EQ(run.Run(m_owner), IDCANCEL);
    EXPECT_EQ(run.journal, c.expected);

    // After the sheet the dialog made before it still has its keys.
    run.journal.clear();
    ::PostMessageW(BesideEdit(run, 0), WM_KEYDOWN, VK_ESCAPE, 1);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (PreTranslateThreadMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    EXPECT_EQ(run.journal, Sequence{"before cancel"});
}

TEST_F(PropertySheetTest, SheetThatCannotBeMadeReturnsMinusOneAndLeavesTheOwnerAlone) {
    Sequence journal;
    CTestSheet sheet(journal, 0);
    CTestPage missing(journal, 1, {}, IDD_MISSING);
    sheet.AddPage(&missing);
    EXPECT_EQ(sheet.DoModal(m_owner), -1);
    EXPECT_TRUE(::IsWindowEnabled(m_owner));
    EXPECT_EQ(sheet.GetSafeHwnd(), nullptr);
}

}  // namespace
}  // namespace kvr
