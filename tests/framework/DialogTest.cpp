// Dialogs and the message loop of a thread that is not a framework thread
// (the Control Panel's): a modal dialog's result and its owner, and the
// thread's message filters.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Dialog.h"
#include "FrameworkTestRes.h"
#include "MessageLoop.h"
#include "Resources.h"

namespace kvr {
namespace {

using Sequence = std::vector<std::string>;

constexpr UINT kMsgEndWith = WM_APP + 7;

// Ends itself from a message posted at its creation, the way a user's click
// would arrive: through the dialog's own loop.
class CEndingDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    CEndingDialog(HWND owner, UINT command, INT_PTR custom)
        : CDialog(ResourceModule(), IDD_MODELESS), m_owner(owner), m_command(command), m_custom(custom) {}
    Sequence m_journal;

protected:
    BOOL OnInitDialog() override {
        PostMessage(kMsgEndWith);
        return TRUE;
    }
    void OnOK() override {
        NoteOwner("ok");
        CDialog::OnOK();
    }
    void OnCancel() override {
        NoteOwner("cancel");
        CDialog::OnCancel();
    }
    bool OnEndWith(WPARAM, LPARAM, LRESULT& result) {
        result = 0;
        if (m_command != 0) {
            SendMessage(WM_COMMAND, MAKEWPARAM(m_command, BN_CLICKED), reinterpret_cast<LPARAM>(GetItem(m_command)));
        } else {
            NoteOwner("custom");
            EndDialog(m_custom);
        }
        return true;
    }

private:
    void NoteOwner(const char* what) {
        m_journal.push_back(std::string(what) + (::IsWindowEnabled(m_owner) ? ", owner enabled" : ", owner disabled"));
    }

    HWND m_owner;
    UINT m_command;
    INT_PTR m_custom;
};

KVR_BEGIN_MESSAGE_MAP(CEndingDialog, CDialog)
KVR_ON_MESSAGE(kMsgEndWith, OnEndWith)
KVR_END_MESSAGE_MAP()

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_owner = ::CreateWindowExW(0, L"STATIC", L"Owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                    nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m_owner, nullptr);
    }
    void TearDown() override { ::DestroyWindow(m_owner); }

    HWND m_owner = nullptr;
};

TEST_F(DialogTest, ModalDialogOnAPlainThreadReturnsWhatEndedItAndGivesTheOwnerBack) {
    struct Case {
        UINT command;
        INT_PTR custom;
        const char* note;
        INT_PTR result;
    };
    const Case cases[] = {
        {IDOK, 0, "ok, owner disabled", IDOK},
        {IDCANCEL, 0, "cancel, owner disabled", IDCANCEL},
        {0, 42, "custom, owner disabled", 42},
    };
    for (const Case& c : cases) {
        CEndingDialog dialog(m_owner, c.command, c.custom);
        EXPECT_EQ(dialog.DoModal(m_owner), c.result) << c.note;
        EXPECT_EQ(dialog.m_journal, Sequence{c.note});
        EXPECT_TRUE(::IsWindowEnabled(m_owner)) << c.note;
        EXPECT_EQ(dialog.GetSafeHwnd(), nullptr) << c.note;
    }
}

TEST_F(DialogTest, MissingTemplateIsMinusOne) {
    CDialog dialog(ResourceModule(), IDD_MISSING);
    EXPECT_EQ(dialog.DoModal(m_owner), -1);
    EXPECT_TRUE(::IsWindowEnabled(m_owner));
    EXPECT_FALSE(dialog.Create(m_owner));
}

// Notes what it is asked and takes the messages it is told to.
class CNotingFilter : public CMessageFilter {
public:
    CNotingFilter(Sequence& journal, std::string name, UINT takes = 0)
        : m_journal(journal), m_name(std::move(name)), m_takes(takes) {}
    bool PreTranslateMessage(MSG& msg) override {
        m_journal.push_back(m_name + " asked " + std::to_string(msg.message - WM_APP));
        if (m_leaves) RemoveThreadMessageFilter(this);
        return msg.message == m_takes;
    }
    bool m_leaves = false;

private:
    Sequence& m_journal;
    std::string m_name;
    UINT m_takes;
};

// A message-only window noting what reaches it.
class CSink : public CWnd {
    KVR_DECLARE_MESSAGE_MAP()
public:
    explicit CSink(Sequence& journal) : m_journal(journal) {
        RegisterWindowClass(ResourceModule(), L"KvrTestSink", nullptr, nullptr, nullptr);
        CreateEx(0, ResourceModule(), L"KvrTestSink", L"", 0, 0, 0, 0, 0, HWND_MESSAGE);
    }

protected:
    bool OnAny(WPARAM, LPARAM, LRESULT& result);

private:
    Sequence& m_journal;
};

KVR_BEGIN_MESSAGE_MAP(CSink, CWnd)
KVR_ON_MESSAGE(WM_APP + 1, OnAny)
KVR_ON_MESSAGE(WM_APP + 2, OnAny)
KVR_ON_MESSAGE(WM_APP + 3, OnAny)
KVR_END_MESSAGE_MAP()

bool CSink::OnAny(WPARAM wParam, LPARAM, LRESULT& result) {
    m_journal.push_back("window got " + std::to_string(wParam));
    result = 0;
    return true;
}

TEST(ThreadMessageLoop, NewestFilterFirstAndATakenMessageGoesNoFurther) {
    Sequence journal;
    CSink sink(journal);
    CNotingFilter older(journal, "older", WM_APP + 2), newer(journal, "newer", WM_APP + 1);
    AddThreadMessageFilter(&older);
    AddThreadMessageFilter(&newer);
    AddThreadMessageFilter(&older);  // once is enough
    for (UINT i = 1; i <= 3; ++i) sink.PostMessage(WM_APP + i, i);
    RunMessageLoop([&] { return !journal.empty() && journal.back() == "window got 3"; });
    RemoveThreadMessageFilter(&newer);
    RemoveThreadMessageFilter(&older);
    EXPECT_EQ(journal, (Sequence{"newer asked 1", "newer asked 2", "older asked 2", "newer asked 3",
                                 "older asked 3", "window got 3"}));
}

TEST(ThreadMessageLoop, FilterMayLeaveWhileItIsAsked) {
    Sequence journal;
    CSink sink(journal);
    CNotingFilter older(journal, "older"), newer(journal, "newer");
    newer.m_leaves = true;
    AddThreadMessageFilter(&older);
    AddThreadMessageFilter(&newer);
    sink.PostMessage(WM_APP + 1, 1);
    sink.PostMessage(WM_APP + 2, 2);
    RunMessageLoop([&] { return !journal.empty() && journal.back() == "window got 2"; });
    RemoveThreadMessageFilter(&older);
    EXPECT_EQ(journal, (Sequence{"newer asked 1", "older asked 1", "window got 1", "older asked 2",
                                 "window got 2"}));
}

TEST(ThreadMessageLoop, QuitEndsTheLoopAndIsPostedAgainForTheOuterOne) {
    ::PostQuitMessage(5);
    EXPECT_FALSE(RunMessageLoop([] { return false; }));
    MSG msg{};
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    EXPECT_TRUE(RunMessageLoop([] { return true; })) << "nothing to wait for";
}

}  // namespace
}  // namespace kvr
