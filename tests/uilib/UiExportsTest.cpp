// The library's exports and its instance thread, driven in-process through the
// same code the DLL is built from, watched through the thread observer.
#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Handles.h"
#include "KvrAuth.h"
#include "SessionUiThread.h"
#include "UiMessages.h"
#include "UiTestSupport.h"

namespace kvr {
namespace {

struct Handled {
    UINT message;
    WPARAM wParam;
    std::vector<std::wstring> texts;  // the texts of a narration or message block
    int priority;

    bool operator==(const Handled& o) const {
        return message == o.message && wParam == o.wParam && texts == o.texts;
    }
};

void PrintTo(const Handled& h, std::ostream* os) { *os << "{" << h.message << ", " << h.wParam << "}"; }

// Records every handled message; can hold the thread inside one handler.
class Recorder : public CUIThreadObserver {
public:
    Recorder() { SetUIThreadObserver(this); }
    ~Recorder() { SetUIThreadObserver(nullptr); }

    void OnMessage(UINT message, WPARAM wParam, const void* block) override {
        Handled h{message, wParam, {}, ::GetThreadPriority(::GetCurrentThread())};
        if (message == kMsgPostNarration)
            for (const auto& t : static_cast<const NarrationBlock*>(block)->texts) h.texts.emplace_back(t);
        if (message == kMsgDisplayMessage)
            for (const auto& t : static_cast<const MessageBlock*>(block)->texts) h.texts.emplace_back(t);
        if (message == holdOn) {
            ::SetEvent(held.Get());
            ::WaitForSingleObject(release.Get(), INFINITE);
        }
        std::lock_guard guard(m_lock);
        m_handled.push_back(std::move(h));
        m_changed.notify_all();
    }
    // Nobody is at the screen: dialogs are cancelled and questions declined.
    void OnDialogShown(UINT, HWND dialog) override {
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    bool OnMessageBox(LPCWSTR, LPCWSTR, UINT, int& answer) override {
        answer = IDNO;
        return true;
    }
    void OnThreadEnd() override {
        std::lock_guard guard(m_lock);
        ++m_ended;
        m_changed.notify_all();
    }

    // Waits until `count` instance threads have ended, returns what they handled.
    std::vector<Handled> WaitForEnd(int count = 1) {
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return m_ended >= count; });
        return m_handled;
    }
    int Ended() {
        std::lock_guard guard(m_lock);
        return m_ended;
    }

    UINT holdOn = 0;
    UniqueHandle held{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueHandle release{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Handled> m_handled;
    int m_ended = 0;
};

void WINAPI IgnoreResult(DWORD, AuthInfo*) {}

class UiExports : public ::testing::Test {
protected:
    void SetUp() override { ScratchRegistry::SetDword(reg::kRezorivKey, L"Narrate", 0); }  // these tests need no windows

    ::ScratchRegistry registry;
    Recorder recorder;
    AuthInfo info{};
};

TEST_F(UiExports, CreateUIStartsALiveInstanceAtNormalPriorityAndDestroyUIEndsIt) {
    KvrUiHandle ui = CreateUI();
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(TurnOffSendReceive(ui), 0u);
    EXPECT_EQ(DestroyUI(ui), 0u);
    const auto handled = recorder.WaitForEnd();
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_EQ(handled[0].priority, THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(handled[1].message, kMsgDestroyUI);
}

// Every export but CreateUI, called with one handle.
struct ExportCall {
    const char* name;
    std::function<DWORD(KvrUiHandle, AuthInfo*)> call;
};
const ExportCall kExports[] = {
    {"DestroyUI", [](KvrUiHandle ui, AuthInfo*) { return DestroyUI(ui); }},
    {"CreateAuthWindow", [](KvrUiHandle ui, AuthInfo* a) { return CreateAuthWindow(ui, a, IgnoreResult); }},
    {"ChangePassword", [](KvrUiHandle ui, AuthInfo* a) { return ChangePassword(ui, a, IgnoreResult, 0); }},
    {"CreateModem", [](KvrUiHandle ui, AuthInfo* a) { return CreateModem(ui, a); }},
    {"DestroyModem", [](KvrUiHandle ui, AuthInfo*) { return DestroyModem(ui); }},
    {"UpdateModemLEDs", [](KvrUiHandle ui, AuthInfo*) { return UpdateModemLEDs(ui, 0x30); }},
    {"UpdateSendLED", [](KvrUiHandle ui, AuthInfo*) { return UpdateSendLED(ui, 1); }},
    {"UpdateReceiveLED", [](KvrUiHandle ui, AuthInfo*) { return UpdateReceiveLED(ui, 1); }},
    {"TurnOffSendReceive", [](KvrUiHandle ui, AuthInfo*) { return TurnOffSendReceive(ui); }},
    {"PostNarration",
     [](KvrUiHandle ui, AuthInfo*) { return PostNarration(ui, kNarrateAttempting, L"a", L"b", L"c"); }},
    {"DestroyNarrationWindow", [](KvrUiHandle ui, AuthInfo*) { return DestroyNarrationWindow(ui); }},
    {"DisplayMessage", [](KvrUiHandle ui, AuthInfo*) { return DisplayMessage(ui, L"caption", L"text"); }},
};

TEST_F(UiExports, HandlesThatNameNoLiveInstanceAreRefusedAndPostNothing) {
    // Destroyed before the calls: refused from the moment DestroyUI returns.
    KvrUiHandle destroyed = CreateUI();
    ASSERT_NE(destroyed, nullptr);
    ASSERT_EQ(DestroyUI(destroyed), 0u);
    int notAnInstance = 0;
    const KvrUiHandle handles[] = {nullptr, reinterpret_cast<KvrUiHandle>(&notAnInstance),
                                   reinterpret_cast<KvrUiHandle>(static_cast<std::uintptr_t>(0xDEADBEEF)),
                                   destroyed};
    for (KvrUiHandle ui : handles)
        for (const ExportCall& e : kExports)
            EXPECT_EQ(e.call(ui, &info), kUiInvalidHandle) << e.name << " with " << ui;
    const auto handled = recorder.WaitForEnd();
    ASSERT_EQ(handled.size(), 1u) << "only the DestroyUI of the destroyed instance";
    EXPECT_EQ(handled[0].message, kMsgDestroyUI);
    for (const ExportCall& e : kExports)
        EXPECT_EQ(e.call(destroyed, &info), kUiInvalidHandle) << e.name << " after the thread ended";

    // A new instance never answers to an old handle.
    KvrUiHandle next = CreateUI();
    ASSERT_NE(next, nullptr);
    EXPECT_NE(next, destroyed);
    EXPECT_EQ(UpdateSendLED(destroyed, 1), kUiInvalidHandle);
    EXPECT_EQ(UpdateSendLED(next, 1), 0u);
    ASSERT_EQ(DestroyUI(next), 0u);
    recorder.WaitForEnd(2);
}

TEST_F(UiExports, MissingRecordsCallbacksAndUnknownModesAreRefused) {
    KvrUiHandle ui = CreateUI();
    ASSERT_NE(ui, nullptr);
    struct Case {
        const char* name;
        DWORD result;
    };
    const Case cases[] = {
        {"CreateModem without record", CreateModem(ui, nullptr)},
        {"CreateAuthWindow without record", CreateAuthWindow(ui, nullptr, IgnoreResult)},
        {"CreateAuthWindow without callback", CreateAuthWindow(ui, &info, nullptr)},
        {"ChangePassword without record", ChangePassword(ui, nullptr, IgnoreResult, 0)},
        {"ChangePassword without callback", ChangePassword(ui, &info, nullptr, 1)},
        {"ChangePassword mode 2", ChangePassword(ui, &info, IgnoreResult, 2)},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.name;
    ASSERT_EQ(DestroyUI(ui), 0u);
    EXPECT_EQ(recorder.WaitForEnd().size(), 1u) << "nothing but the DestroyUI was posted";
}

TEST_F(UiExports, MessagesAreHandledInPostingOrderWithTheirLow16Bits) {
    KvrUiHandle ui = CreateUI();
    ASSERT_NE(ui, nullptr);
    ASSERT_EQ(CreateModem(ui, &info), 0u);
    ASSERT_EQ(UpdateModemLEDs(ui, 0x12345), 0u);
    ASSERT_EQ(UpdateSendLED(ui, 0x10001), 0u);
    ASSERT_EQ(UpdateReceiveLED(ui, 0x10000), 0u);
    ASSERT_EQ(TurnOffSendReceive(ui), 0u);
    ASSERT_EQ(CreateAuthWindow(ui, &info, IgnoreResult), 0u);
    ASSERT_EQ(ChangePassword(ui, &info, IgnoreResult, 1), 0u);
    ASSERT_EQ(DestroyNarrationWindow(ui), 0u);
    ASSERT_EQ(DestroyModem(ui), 0u);
    ASSERT_EQ(DestroyUI(ui), 0u);
    const std::vector<Handled> expected = {
        {kMsgCreateModem, 0, {}, 0},        {kMsgUpdateModemLEDs, 0x2345, {}, 0},
        {kMsgUpdateSendLED, 1, {}, 0},      {kMsgUpdateReceiveLED, 0, {}, 0},
        {kMsgTurnOffSendReceive, 0, {}, 0}, {kMsgCreateAuthWindow, 0, {}, 0},
        {kMsgChangePassword, 0, {}, 0},     {kMsgDestroyNarrationWindow, 0, {}, 0},
        {kMsgDestroyModem, 0, {}, 0},       {kMsgDestroyUI, 0, {}, 0},
    };
    EXPECT_EQ(recorder.WaitForEnd(), expected);
}

TEST_F(UiExports, TextsAreCutAt512CharactersAndNullTextsLeaveEmptySlots) {
    const std::wstring longText(700, L'x');
    const std::wstring exact(512, L'y');
    KvrUiHandle ui = CreateUI();
    ASSERT_NE(ui, nullptr);
    ASSERT_EQ(PostNarration(ui, 0x1EF17, longText.c_str(), nullptr, L"COM3"), 0u);
    ASSERT_EQ(PostNarration(ui, kNarrateUnknownPort, nullptr, exact.c_str(), nullptr), 0u);
    ASSERT_EQ(DisplayMessage(ui, nullptr, longText.c_str()), 0u);
    ASSERT_EQ(DisplayMessage(ui, L"Caption", L""), 0u);
    ASSERT_EQ(DestroyUI(ui), 0u);
    const std::wstring cut(512, L'x');
    const std::vector<Handled> expected = {
        {kMsgPostNarration, kNarrateAttempting, {cut, L"", L"COM3"}, 0},
        {kMsgPostNarration, kNarrateUnknownPort, {L"", exact, L""}, 0},
        {kMsgDisplayMessage, 0, {L"", cut}, 0},
        {kMsgDisplayMessage, 0, {L"Caption", L""}, 0},
        {kMsgDestroyUI, 0, {}, 0},
    };
    EXPECT_EQ(recorder.WaitForEnd(), expected);
}

TEST_F(UiExports, DestroyUIWaitsBehindAMessageBeingHandled) {
    recorder.holdOn = kMsgUpdateSendLED;
    KvrUiHandle ui = CreateUI();
    ASSERT_NE(ui, nullptr);
    ASSERT_EQ(UpdateSendLED(ui, 1), 0u);
    ASSERT_EQ(::WaitForSingleObject(recorder.held.Get(), 30000), WAIT_OBJECT_0);
    EXPECT_EQ(DestroyUI(ui), 0u);
    EXPECT_EQ(UpdateReceiveLED(ui, 1), kUiInvalidHandle) << "accepted DestroyUI ends the handle";
    EXPECT_EQ(DestroyUI(ui), kUiInvalidHandle);
    EXPECT_EQ(recorder.Ended(), 0) << "the thread is still inside the held handler";
    ::SetEvent(recorder.release.Get());
    const auto handled = recorder.WaitForEnd();
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_EQ(handled[0].message, kMsgUpdateSendLED);
    EXPECT_EQ(handled[1].message, kMsgDestroyUI);
}

TEST_F(UiExports, InstancesAreIndependent) {
    KvrUiHandle first = CreateUI();
    KvrUiHandle second = CreateUI();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);
    ASSERT_EQ(DestroyUI(first), 0u);
    EXPECT_EQ(UpdateSendLED(second, 1), 0u) << "the other instance lives on";
    ASSERT_EQ(DestroyUI(second), 0u);
    EXPECT_EQ(recorder.WaitForEnd(2).size(), 3u);
}

}  // namespace
}  // namespace kvr
