// The authentication dialog and the password-change flow, driven as real
// windows on an instance's thread.
#include <gtest/gtest.h>

#include "KvrAuth.h"
#include "KvrAuthRes.h"
#include "UiMessages.h"
#include "UiTestSupport.h"

namespace kvr::test {
namespace {

class AuthFlows : public ::testing::Test {
protected:
    void SetUp() override {
        ui = CreateUI();
        ASSERT_NE(ui, nullptr);
    }
    void TearDown() override {
        if (!driver.ThreadEnded()) {
            DestroyUI(ui);
            driver.WaitThreadEnd();
        }
    }

    ScratchRegistry registry;
    UiDriver driver;
    KvrUiHandle ui = nullptr;
    AuthInfo info = MakeAuthInfo(L"alice", L"old", L"Server One", L"COM3");
};

TEST_F(AuthFlows, AuthDialogShowsTheRecordAndLimitsTheFields) {
    ASSERT_EQ(CreateAuthWindow(ui, &info, UiDriver::Record), 0u);
    const HWND dialog = driver.WaitDialog(IDD_AUTH);
    EXPECT_EQ(Text(dialog), L"Enter Remote Access Server Password - COM3");
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_SERVER_NAME)), L"Server One");
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_USERNAME)), L"alice");
    EXPECT_EQ(Text(::GetDlgItem(dialog, IDC_PASSWORD)), L"");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog, IDC_USERNAME), EM_GETLIMITTEXT, 0, 0), 47);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog, IDC_PASSWORD), EM_GETLIMITTEXT, 0, 0), 16);
    EXPECT_TRUE(::GetWindowLongW(::GetDlgItem(dialog, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    Click(dialog, IDCANCEL);
    driver.WaitCallbacks(1);
}

TEST_F(AuthFlows, OkWritesTheTypedCredentialsCancelLeavesTheRecord) {
    struct Case {
        int button;
        DWORD result;
        const wchar_t* userName;
        const wchar_t* password;
    };
    const Case cases[] = {
        {IDOK, kUiConfirmed, L"bob", L"s3cret"},
        {IDCANCEL, kUiCancelled, L"alice", L"old"},
    };
    std::size_t calls = 0;
    for (const Case& c : cases) {
        ASSERT_EQ(CreateAuthWindow(ui, &info, UiDriver::Record), 0u);
        const HWND dialog = driver.WaitDialog(IDD_AUTH);
        SetText(dialog, IDC_USERNAME, L"bob");
        SetText(dialog, IDC_PASSWORD, L"s3cret");
        Click(dialog, c.button);
        driver.WaitCallbacks(++calls);
        const Callback callback = driver.Callbacks().back();
        EXPECT_EQ(callback.result, c.result) << c.button;
        EXPECT_EQ(FieldText(callback.info.userName), c.userName) << c.button;
        EXPECT_EQ(FieldText(callback.info.password), c.password) << c.button;
        info = MakeAuthInfo(L"alice", L"old", L"Server One", L"COM3");
    }
}

TEST_F(AuthFlows, SecondAuthRequestWhileOpenIsDroppedWithoutCallback) {
    ASSERT_EQ(CreateAuthWindow(ui, &info, UiDriver::Record), 0u);
    const HWND dialog = driver.WaitDialog(IDD_AUTH);
    ASSERT_EQ(CreateAuthWindow(ui, &info, UiDriver::Record), 0u);
    driver.WaitHandled(kMsgCreateAuthWindow, 2);
    Click(dialog, IDOK);
    driver.WaitCallbacks(1);
    ASSERT_EQ(DestroyUI(ui), 0u);
    driver.WaitThreadEnd();
    EXPECT_EQ(driver.Callbacks().size(), 1u);
    EXPECT_EQ(driver.DialogsShown(), 1);
}

TEST_F(AuthFlows, DestroyUIWaitsForTheOpenDialogAndThenNoCallbackRuns) {
    ASSERT_EQ(CreateAuthWindow(ui, &info, UiDriver::Record), 0u);
    const HWND dialog = driver.WaitDialog(IDD_AUTH);
    ASSERT_EQ(DestroyUI(ui), 0u);
    ::SendMessageW(dialog, WM_NULL, 0, 0);  // one round trip through the dialog's loop
    EXPECT_TRUE(::IsWindow(dialog));
    EXPECT_FALSE(driver.ThreadEnded());
    SetText(dialog, IDC_USERNAME, L"late");
    Click(dialog, IDOK);
    driver.WaitThreadEnd();
    EXPECT_TRUE(driver.Callbacks().empty()) << "the caller may already have released its record";
    EXPECT_EQ(FieldText(info.userName), L"alice");
    EXPECT_EQ(driver.Handled(), (std::vector<UINT>{kMsgCreateAuthWindow, kMsgDestroyUI}));
}

TEST_F(AuthFlows, QuestionBoxAsksPerModeAndNoDeclinesWithoutDialog) {
    struct Case {
        DWORD mode;
        const wchar_t* question;
    };
    const Case cases[] = {
        {kPasswordExpired, L"Your password has expired.  Would you like to specify a new password?"},
        {kPasswordChangeRefused, L"Your password has not been changed.  Would you like to try again?"},
    };
    std::size_t calls = 0;
    for (const Case& c : cases) {
        driver.AnswerBoxes({IDNO});
        ASSERT_EQ(ChangePassword(ui, &info, UiDriver::Record, c.mode), 0u);
        driver.WaitCallbacks(++calls);
        const Box box = driver.Boxes().back();
        EXPECT_EQ(box.text, c.question);
        EXPECT_EQ(box.caption, L"Grace Login");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL));
        EXPECT_EQ(driver.Callbacks().back().result, kUiCancelled);
    }
    EXPECT_EQ(driver.DialogsShown(), 0);
}

TEST_F(AuthFlows, WhileTheQuestionBoxIsOpenOtherWorkGoesOnAndDestroyUIWaits) {
    driver.LetBoxesOpen();
    ASSERT_EQ(ChangePassword(ui, &info, UiDriver::Record, kPasswordExpired), 0u);
    const HWND box = driver.WaitRealBox();
    ASSERT_EQ(PostNarration(ui, kNarrateAttempting, L"Server One", nullptr, nullptr), 0u);
    driver.WaitDialog(IDD_NARRATION);  // handled inside the box's own loop
    ASSERT_EQ(DestroyUI(ui), 0u);
    ::SendMessageW(box, WM_NULL, 0, 0);
    EXPECT_TRUE(::IsWindow(box));
    EXPECT_FALSE(driver.ThreadEnded());
    ::PostMessageW(box, WM_COMMAND, IDYES, 0);
    driver.WaitThreadEnd();
    EXPECT_TRUE(driver.Callbacks().empty()) << "the caller has destroyed the instance";
    EXPECT_EQ(driver.DialogsShown(), 1) << "no change dialog after DestroyUI";
}

TEST_F(AuthFlows, ChangeDialogRejectsNewPasswordsThatDoNotAgree) {
    struct Case {
        const wchar_t* oldPassword;
        const wchar_t* newPassword;
        const wchar_t* confirmation;
        const wchar_t* message;
    };
    const Case cases[] = {
        {L"same", L"same", L"same", L"The original and new passwords are equal.  Please make them different."},
        {L"old", L"Secret", L"secret", L"The 2 new passwords are not equal.  Please try again."},
        {L"old", L"new", L"other", L"The 2 new passwords are not equal.  Please try again."},
    };
    driver.AnswerBoxes({IDYES});
    ASSERT_EQ(ChangePassword(ui, &info, UiDriver::Record, kPasswordExpired), 0u);
    const HWND dialog = driver.WaitDialog(IDD_CHANGE_PASSWORD);
    EXPECT_EQ(Text(dialog), L"Change Password - Server One");
    for (const Case& c : cases) {
        SetText(dialog, IDC_OLD_PASSWORD, c.oldPassword);
        SetText(dialog, IDC_NEW_PASSWORD, c.newPassword);
        SetText(dialog, IDC_CONFIRM_PASSWORD, c.confirmation);
        Click(dialog, IDOK);
        const Box box = driver.Boxes().back();
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, L"Error: Unable to change password");
        EXPECT_TRUE(::IsWindow(dialog)) << "stays open";
        DWORD start = 1, end = 0;
        ::SendMessageW(::GetDlgItem(dialog, IDC_NEW_PASSWORD), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                       reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, std::wstring(c.newPassword).size()) << "whole new password selected";
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ASSERT_TRUE(::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &gui));
        EXPECT_EQ(gui.hwndFocus, ::GetDlgItem(dialog, IDC_NEW_PASSWORD));
    }
    EXPECT_TRUE(driver.Callbacks().empty());
    Click(dialog, IDCANCEL);
    driver.WaitCallbacks(1);
    EXPECT_EQ(driver.Callbacks().back().result, kUiCancelled);
    EXPECT_EQ(FieldText(driver.Callbacks().back().info.password), L"old");
}

TEST_F(AuthFlows, AcceptedChangeReportsOldAndNewPasswords) {
    driver.AnswerBoxes({IDYES});
    ASSERT_EQ(ChangePassword(ui, &info, UiDriver::Record, kPasswordChangeRefused), 0u);
    const HWND dialog = driver.WaitDialog(IDD_CHANGE_PASSWORD);
    for (int id : {IDC_OLD_PASSWORD, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD})
        EXPECT_EQ(::SendMessageW(::GetDlgItem(dialog, id), EM_GETLIMITTEXT, 0, 0), 16) << id;
    ASSERT_EQ(ChangePassword(ui, &info, UiDriver::Record, kPasswordExpired), 0u);
    driver.WaitHandled(kMsgChangePassword, 2);  // dropped while the first runs
    SetText(dialog, IDC_OLD_PASSWORD, L"old");
    SetText(dialog, IDC_NEW_PASSWORD, L"n3w");
    SetText(dialog, IDC_CONFIRM_PASSWORD, L"n3w");
    Click(dialog, IDOK);
    driver.WaitCallbacks(1);
    const Callback callback = driver.Callbacks().back();
    EXPECT_EQ(callback.result, kUiConfirmed);
    EXPECT_EQ(FieldText(callback.info.password), L"old");
    EXPECT_EQ(FieldText(callback.info.newPassword), L"n3w");
    EXPECT_EQ(FieldText(callback.info.userName), L"alice");
    ASSERT_EQ(DestroyUI(ui), 0u);
    driver.WaitThreadEnd();
    EXPECT_EQ(driver.Callbacks().size(), 1u);
    EXPECT_EQ(driver.Boxes().size(), 1u) << "only the first request asked";
}

}  // namespace
}  // namespace kvr::test
