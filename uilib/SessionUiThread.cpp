#include "SessionUiThread.h"

#include "AuthDialogs.h"
#include "KvrAuthRes.h"
#include "Resources.h"
#include "UiOptions.h"

#include <utility>


namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CUIThread, CWinThread)

KVR_BEGIN_THREAD_MESSAGE_MAP(CUIThread, CWinThread)
    KVR_ON_THREAD_MESSAGE(kMsgCreateModem, OnCreateModem)
    KVR_ON_THREAD_MESSAGE(kMsgUpdateModemLEDs, OnUpdateModemLEDs)
    KVR_ON_THREAD_MESSAGE(kMsgDestroyModem, OnDestroyModem)
    KVR_ON_THREAD_MESSAGE(kMsgUpdateSendLED, OnUpdateSendLED)
    KVR_ON_THREAD_MESSAGE(kMsgUpdateReceiveLED, OnUpdateReceiveLED)
    KVR_ON_THREAD_MESSAGE(kMsgTurnOffSendReceive, OnTurnOffSendReceive)
    KVR_ON_THREAD_MESSAGE(kMsgCreateAuthWindow, OnCreateAuthWindow)
    KVR_ON_THREAD_MESSAGE(kMsgPostNarration, OnPostNarration)
    KVR_ON_THREAD_MESSAGE(kMsgDestroyNarrationWindow, OnDestroyNarrationWindow)
    KVR_ON_THREAD_MESSAGE(kMsgDisplayMessage, OnDisplayMessage)
    KVR_ON_THREAD_MESSAGE(kMsgDestroyUI, OnDestroyUI)
    KVR_ON_THREAD_MESSAGE(kMsgChangePassword, OnChangePassword)
KVR_END_THREAD_MESSAGE_MAP()

namespace {

// Sets a flag for as long as a flow runs, however it ends.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

template <typename Block>
std::unique_ptr<Block> TakeBlock(LPARAM lParam) {
    return std::unique_ptr<Block>(reinterpret_cast<Block*>(lParam));
}

}  // namespace

void FreeUiMessageBlock(UINT message, LPARAM block) {
    switch (message) {
    case kMsgCreateModem: TakeBlock<AuthInfo>(block); break;
    case kMsgCreateAuthWindow: TakeBlock<AuthRequestBlock>(block); break;
    case kMsgChangePassword: TakeBlock<PasswordRequestBlock>(block); break;
    case kMsgPostNarration: TakeBlock<NarrationBlock>(block); break;
    case kMsgDisplayMessage: TakeBlock<MessageBlock>(block); break;
    default: break;
    }
}

CUIThread::CUIThread() : m_gate(std::make_shared<CallbackGate>()) {}
CUIThread::~CUIThread() = default;

KvrUiHandle CUIThread::Start() {
    auto* thread = new (std::nothrow) CUIThread;
    if (thread == nullptr) return nullptr;
    // The object may be gone as soon as CreateThread returns, so the thread
    // hands its handle over before it reports ready.
    KvrUiHandle handle = nullptr;
    thread->m_startedHandle = &handle;
    // Started above the service's threads so that it gets its queue at once;
    // it lowers itself to normal as soon as it has.
    return thread->CreateThread(THREAD_PRIORITY_TIME_CRITICAL) ? handle : nullptr;
}

bool CUIThread::InitInstance() {
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    m_handle = InstanceRegistry::Instance().Add(::GetCurrentThreadId(), m_gate);
    *std::exchange(m_startedHandle, nullptr) = static_cast<KvrUiHandle>(const_cast<void*>(m_handle));
    return true;
}

int CUIThread::ExitInstance() {
    // No export can post to us after this, so the queue can be drained for good.
    InstanceRegistry::Instance().Remove(m_handle);
    m_quitting = false;
    CloseWindows();
    if (CUIThreadObserver* observer = UIThreadObserver()) observer->OnThreadEnd();
    return CWinThread::ExitInstance();
}

void CUIThread::OnDiscardThreadMessage(const MSG& msg) { FreeUiMessageBlock(msg.message, msg.lParam); }

void CUIThread::Observe(UINT message, WPARAM wParam, const void* block) {
    if (CUIThreadObserver* observer = UIThreadObserver()) observer->OnMessage(message, wParam, block);
}

void CUIThread::OnCreateModem(WPARAM wParam, LPARAM lParam) {
    const auto info = TakeBlock<AuthInfo>(lParam);
    Observe(kMsgCreateModem, wParam, info.get());
    // One modem window per instance, and none once the caller has destroyed
    // the instance: a window that would only flash up keeps a quickly
    // reopened port's thread (and its display connection) alive for nothing.
    if (m_modem != nullptr || !MayOpenWindow()) return;
    m_modem = CModemWindow::Open(FieldText(info->dosName), [this](CModemWindow* w) {
        if (w == m_modem) m_modem = nullptr;
    });
    WindowOpened();
}

void CUIThread::OnUpdateModemLEDs(WPARAM wParam, LPARAM) {
    Observe(kMsgUpdateModemLEDs, wParam, nullptr);
    if (m_modem != nullptr) m_modem->SetLamps(static_cast<WORD>(wParam));
}

void CUIThread::OnDestroyModem(WPARAM wParam, LPARAM) {
    Observe(kMsgDestroyModem, wParam, nullptr);
    if (m_modem != nullptr) m_modem->DestroyWindow();
}

void CUIThread::OnUpdateSendLED(WPARAM wParam, LPARAM) {
    Observe(kMsgUpdateSendLED, wParam, nullptr);
    if (m_modem != nullptr) m_modem->SetSend(wParam != 0);
}

void CUIThread::OnUpdateReceiveLED(WPARAM wParam, LPARAM) {
    Observe(kMsgUpdateReceiveLED, wParam, nullptr);
    if (m_modem != nullptr) m_modem->SetReceive(wParam != 0);
}

void CUIThread::OnTurnOffSendReceive(WPARAM wParam, LPARAM) {
    Observe(kMsgTurnOffSendReceive, wParam, nullptr);
    if (m_modem != nullptr) m_modem->TurnOffSendReceive();
}

namespace {

// A thread's first window opens the thread's own connection to the display,
// which is slow when many threads do it at once: under a fast open-close rate
// the threads pile up, each busy with windows for a session long gone. So only
// a few threads open their first window at a time.
HANDLE FirstWindowTokens() {
    constexpr LONG kAtOnce = 4;
    static const HANDLE tokens = ::CreateSemaphoreW(nullptr, kAtOnce, kAtOnce, nullptr);
    return tokens;
}

}  // namespace

bool CUIThread::MayOpenWindow() {
    // The status windows are for the caller's session: none once it has
    // destroyed the instance, even if it was asked for before.
    if (Destroyed()) return false;
    if (m_windowsOpened || m_holdsToken || FirstWindowTokens() == nullptr) return true;
    while (::WaitForSingleObject(FirstWindowTokens(), 50) == WAIT_TIMEOUT)
        if (Destroyed()) return false;
    m_holdsToken = true;
    return true;
}

bool CUIThread::WaitWindowTurn() {
    if (m_windowsOpened || m_holdsToken || FirstWindowTokens() == nullptr) return true;
    m_holdsToken = ::WaitForSingleObject(FirstWindowTokens(), INFINITE) == WAIT_OBJECT_0;
    return true;
}

void CUIThread::WindowOpened() {
    m_windowsOpened = true;
    if (m_holdsToken) ::ReleaseSemaphore(FirstWindowTokens(), 1, nullptr);
    m_holdsToken = false;
}

void CUIThread::OnCreateAuthWindow(WPARAM wParam, LPARAM lParam) {
    const auto request = TakeBlock<AuthRequestBlock>(lParam);
    Observe(kMsgCreateAuthWindow, wParam, request.get());
    if (m_authOpen) return;
    const FlagScope open(m_authOpen);
    RunAuthentication(*request);
}

bool CUIThread::Destroyed() {
    std::lock_guard guard(m_gate->lock);
    return m_gate->closed;
}

bool CUIThread::Snapshot(const AuthInfo* info, AuthInfo& copy) {
    std::lock_guard guard(m_gate->lock);
    if (m_gate->closed) return false;
    copy = *info;
    return true;
}

void CUIThread::RunAuthentication(const AuthRequestBlock& request) {
    AuthInfo info;
    if (!Snapshot(request.info, info)) return;
    CAuthDialog dialog(info);
    const INT_PTR result = dialog.DoModal();
    // A dialog that could not open confirms nothing.
    if (result == IDCANCEL || result == -1) {
        Deliver(request.callback, request.info, kUiCancelled, [](AuthInfo&) {});
        return;
    }
    Deliver(request.callback, request.info, kUiConfirmed, [&](AuthInfo& out) {
        SetFieldText(out.userName, dialog.UserName());
        SetFieldText(out.password, dialog.Password());
    });
}

void CUIThread::RunPasswordChange(const PasswordRequestBlock& request) {
    AuthInfo info;
    if (!Snapshot(request.info, info)) return;
    const UINT question = request.mode == kPasswordExpired ? IDS_GRACE_EXPIRED : IDS_GRACE_NOT_CHANGED;
    if (ShowMessageBox(nullptr, LoadResString(question), LoadResString(IDS_GRACE_CAPTION),
                     MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL) != IDYES) {
        Deliver(request.callback, request.info, kUiCancelled, [](AuthInfo&) {});
        return;
    }
    // Nobody would receive the new password once the caller has destroyed
    // the instance while the question was open.
    if (Destroyed()) return;
    CChangePasswordDialog dialog(info);
    if (dialog.DoModal() != IDOK) {
        Deliver(request.callback, request.info, kUiCancelled, [](AuthInfo&) {});
        return;
    }
    Deliver(request.callback, request.info, kUiConfirmed, [&](AuthInfo& out) {
        SetFieldText(out.password, dialog.OldPassword());
        SetFieldText(out.newPassword, dialog.NewPassword());
    });
}

void CUIThread::OnPostNarration(WPARAM wParam, LPARAM lParam) {
    const auto texts = TakeBlock<NarrationBlock>(lParam);
    Observe(kMsgPostNarration, wParam, texts.get());
    if (!NarrationEnabled()) return;
    const UINT number = static_cast<UINT>(wParam);
    const std::wstring pattern = LoadResString(number);
    if (pattern.empty()) return;  // not a narration we know: show no empty line
    // Only the unknown-port line names the port; the others name the server.
    const wchar_t* argument = number == IDS_NARRATE_UNKNOWN_PORT ? texts->texts[1] : texts->texts[0];
    if (m_narration == nullptr) {
        // Progress lines of a session that has already ended tell nobody
        // anything; a failure line, the last word on why the port did not
        // open, is still shown.
        const bool progress = number == IDS_NARRATE_ATTEMPTING || number == IDS_NARRATE_CONNECTED;
        if (progress ? !MayOpenWindow() : !WaitWindowTurn()) return;
        auto* window = new CNarrationWindow([this](CSelfOwnedDialog* w) { OnNarrationClosed(w); });
        const bool opened = window->Open();
        WindowOpened();
        if (!opened) return;
        m_narration = window;
        NotifyDialogShown(IDD_NARRATION, window->m_hWnd);
    }
    m_narration->SetText(FormatText(pattern, {argument}));
}

void CUIThread::OnNarrationClosed(CSelfOwnedDialog* window) {
    if (window == m_narration) m_narration = nullptr;
    std::erase(m_closingNarrations, window);
    if (m_quitting && m_closingNarrations.empty()) ::PostQuitMessage(0);
}

void CUIThread::CloseNarration() {
    CNarrationWindow* window = std::exchange(m_narration, nullptr);
    if (window == nullptr) return;
    m_closingNarrations.push_back(window);
    window->CloseDelayed();
}

void CUIThread::OnDestroyNarrationWindow(WPARAM wParam, LPARAM) {
    Observe(kMsgDestroyNarrationWindow, wParam, nullptr);
    CloseNarration();
}

void CUIThread::OnDisplayMessage(WPARAM wParam, LPARAM lParam) {
    const auto texts = TakeBlock<MessageBlock>(lParam);
    Observe(kMsgDisplayMessage, wParam, texts.get());
    if (m_message != nullptr) m_message->DestroyWindow();
    if (!MayOpenWindow()) return;
    auto* window = new CMessageWindow(texts->texts[0], texts->texts[1], [this](CSelfOwnedDialog* w) {
        if (w == m_message) m_message = nullptr;
    });
    if (window->Open()) m_message = window;
    WindowOpened();
}

void CUIThread::OnDestroyUI(WPARAM wParam, LPARAM) {
    Observe(kMsgDestroyUI, wParam, nullptr);
    if (m_modem != nullptr) m_modem->DestroyWindow();
    CloseNarration();
    if (m_message != nullptr) m_message->DestroyWindow();
    // A narration still showing its last line ends the loop when it closes.
    m_quitting = true;
    if (m_closingNarrations.empty()) ::PostQuitMessage(0);
}

void CUIThread::CloseWindows() {
    if (m_modem != nullptr) m_modem->DestroyWindow();
    if (m_message != nullptr) m_message->DestroyWindow();
    if (m_narration != nullptr) m_narration->DestroyWindow();
    for (CSelfOwnedDialog* window : std::vector(m_closingNarrations)) window->DestroyWindow();
}

void CUIThread::OnChangePassword(WPARAM wParam, LPARAM lParam) {
    const auto request = TakeBlock<PasswordRequestBlock>(lParam);
    Observe(kMsgChangePassword, wParam, request.get());
    if (m_passwordChanging) return;
    const FlagScope running(m_passwordChanging);
    RunPasswordChange(*request);
}

}  // namespace kvr
