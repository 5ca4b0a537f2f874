// The narration line and the message window on an instance's thread.
#include <gtest/gtest.h>

#include "KvrAuth.h"
#include "KvrAuthRes.h"
#include "UiMessages.h"
#include "UiTestSupport.h"

namespace kvr::test {
namespace {

class InfoWindows : public ::testing::Test {
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
    // Returns once every message posted so far has been handled.
    void Sync() {
        ASSERT_EQ(TurnOffSendReceive(ui), 0u);
        driver.WaitHandled(kMsgTurnOffSendReceive, ++syncs);
        ::SendMessageW(::GetDesktopWindow(), WM_NULL, 0, 0);
    }
    std::wstring NarrationText(HWND window) { return Text(::GetDlgItem(window, IDC_NARRATION_TEXT)); }

    ScratchRegistry registry;
    UiDriver driver;
    KvrUiHandle ui = nullptr;
    int syncs = 0;
};

TEST_F(InfoWindows, NarrationFormatsTheLineForItsNumber) {
    struct Case {
        DWORD number;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {kNarrateAttempting, L"Attempting to connect to Server One ..."},
        {kNarrateConnected, L"Connected to Server One."},
        {kNarrateFailed, L"Attempt to connect to Server One failed."},
        {kNarrateInUse, L"Server One is currently in use."},
        {kNarrateRefused, L"The connection to Server One was refused."},
        {kNarrateTimedOut, L"Connection attempt to Server One has timed out."},
        {kNarrateDisabled, L"Dial-out is disabled on Server One."},
        {kNarrateUnknownPort, L"PORT9 is an unrecognized port name."},
        {61209, nullptr},  // not a narration: the line stays as it was
    };
    ASSERT_EQ(PostNarration(ui, kNarrateAttempting, L"Server One", L"PORT9", nullptr), 0u);
    const HWND window = driver.WaitDialog(IDD_NARRATION);
    std::wstring shown;
    for (const Case& c : cases) {
        ASSERT_EQ(PostNarration(ui, c.number, L"Server One", L"PORT9", nullptr), 0u);
        Sync();
        if (c.expected != nullptr) shown = c.expected;
        EXPECT_EQ(NarrationText(window), shown) << c.number;
    }
    EXPECT_EQ(driver.DialogsShown(), 1) << "one window, its text replaced";
    EXPECT_TRUE(::GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(::IsWindowVisible(window));
}

TEST_F(InfoWindows, NarrateZeroShowsNothing) {
    ScratchRegistry::SetDword(reg::kRezorivKey, L"Narrate", 0);
    ASSERT_EQ(PostNarration(ui, kNarrateAttempting, L"Server One", nullptr, nullptr), 0u);
    ASSERT_EQ(DestroyNarrationWindow(ui), 0u);
    ASSERT_EQ(DestroyUI(ui), 0u);
    driver.WaitThreadEnd();
    EXPECT_EQ(driver.Events(), (std::vector<std::string>{"end"}));
}

TEST_F(InfoWindows, ClosedNarrationStaysUpForItsTimeThenANewOneOpens) {
    ASSERT_EQ(PostNarration(ui, kNarrateConnected, L"Server One", nullptr, nullptr), 0u);
    ASSERT_EQ(DestroyNarrationWindow(ui), 0u);
    const HWND first = driver.WaitDialog(IDD_NARRATION);
    Sync();
    EXPECT_TRUE(::IsWindowVisible(first)) << "the line stays up after the close request";
    EXPECT_EQ(NarrationText(first), L"Connected to Server One.");
    ASSERT_EQ(PostNarration(ui, kNarrateAttempting, L"Server Two", nullptr, nullptr), 0u);
    const HWND second = driver.WaitDialog(IDD_NARRATION);
    EXPECT_NE(second, first);
    EXPECT_EQ(NarrationText(second), L"Attempting to connect to Server Two ...");
    driver.WaitClosed(IDD_NARRATION, 1);
    Sync();  // the close is reported from inside the window's destruction
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_TRUE(::IsWindow(second));
}

TEST_F(InfoWindows, DestroyUIEndsTheThreadOnlyAfterTheLastLineHasBeenShown) {
    ASSERT_EQ(PostNarration(ui, kNarrateFailed, L"Server One", nullptr, nullptr), 0u);
    ASSERT_EQ(DestroyNarrationWindow(ui), 0u);
    ASSERT_EQ(DestroyUI(ui), 0u);
    driver.WaitThreadEnd();
    EXPECT_EQ(driver.Events(),
              (std::vector<std::string>{"shown " + std::to_string(IDD_NARRATION),
                                        "closed " + std::to_string(IDD_NARRATION), "end"}));
}

TEST_F(InfoWindows, MessageWindowReplacesThePreviousAndOkClosesIt) {
    ASSERT_EQ(DisplayMessage(ui, L"First caption", L"First text"), 0u);
    const HWND first = driver.WaitDialog(IDD_MESSAGE);
    EXPECT_EQ(Text(first), L"First caption");
    EXPECT_EQ(Text(::GetDlgItem(first, IDC_MESSAGE_TEXT)), L"First text");
    EXPECT_TRUE(::GetWindowLongW(first, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_EQ(DisplayMessage(ui, L"Second caption", nullptr), 0u);
    const HWND second = driver.WaitDialog(IDD_MESSAGE);
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(Text(second), L"Second caption");
    EXPECT_EQ(Text(::GetDlgItem(second, IDC_MESSAGE_TEXT)), L"");
    Click(second, IDOK);
    driver.WaitClosed(IDD_MESSAGE, 2);
    Sync();
    EXPECT_FALSE(::IsWindow(second));
}

}  // namespace

// Refuses every window the instance's thread tries to make, as a display that
// takes no more clients does.
class RefusingDriver : public UiDriver {
public:
    void OnMessage(UINT message, WPARAM wParam, const void* block) override {
        if (m_hook == nullptr) m_hook = ::SetWindowsHookExW(WH_CBT, &Refuse, nullptr, ::GetCurrentThreadId());
        UiDriver::OnMessage(message, wParam, block);
    }
    void OnThreadEnd() override {
        if (m_hook != nullptr) ::UnhookWindowsHookEx(m_hook);
        m_hook = nullptr;
        UiDriver::OnThreadEnd();
    }

private:
    static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam) {
        return code == HCBT_CREATEWND ? 1 : ::CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK m_hook = nullptr;
};

// Windows that cannot be made leave the instance working: the session goes
// on without them, a dialog that cannot open answers "cancelled", and the
// instance still ends when asked.
TEST(WindowsRefused, InstanceGoesOnWithoutThem) {
    ScratchRegistry registry;
    RefusingDriver driver;
    const KvrUiHandle ui = CreateUI();
    ASSERT_NE(ui, nullptr);
    AuthInfo record = MakeAuthInfo(L"alice", L"", L"Server One", L"COM3");
    ASSERT_EQ(PostNarration(ui, kNarrateAttempting, L"Server One", nullptr, nullptr), 0u);
    ASSERT_EQ(CreateModem(ui, &record), 0u);
    ASSERT_EQ(UpdateSendLED(ui, 1), 0u);
    ASSERT_EQ(UpdateModemLEDs(ui, kLampCD), 0u);
    ASSERT_EQ(DisplayMessage(ui, L"Caption", L"Text"), 0u);
    ASSERT_EQ(CreateAuthWindow(ui, &record, UiDriver::Record), 0u);
    driver.WaitCallbacks(1);
    EXPECT_EQ(driver.Callbacks()[0].result, kUiCancelled);
    ASSERT_EQ(DestroyUI(ui), 0u);
    driver.WaitThreadEnd();
    EXPECT_EQ(driver.DialogsShown(), 0);
    EXPECT_EQ(driver.Handled().size(), 7u);
}

}  // namespace kvr::test
