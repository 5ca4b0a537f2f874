#pragma once
// CUIThread: one library instance, the thread that owns all windows of one
// service session and runs the handlers in the order the exports posted.
#include <windows.h>

#include <memory>
#include <vector>
#include <optional>

#include "InfoWindows.h"
#include "InstanceRegistry.h"
#include "ModemWindow.h"
#include "UIThread.h"
#include "UiMessages.h"
#include "UiSupport.h"

namespace kvr {

class CUIThread : public CWinThread {
    KVR_DECLARE_DYNAMIC(CUIThread)
    KVR_DECLARE_THREAD_MESSAGE_MAP()
public:
    CUIThread();
    ~CUIThread() override;

    // Starts an instance and returns its handle; null if it could not start.
    static KvrUiHandle Start();

protected:
    bool InitInstance() override;
    int ExitInstance() override;
    void OnDiscardThreadMessage(const MSG& msg) override;
    // The quit request waits until a modal dialog's loop has returned.
    bool DefersWhileModal(UINT message) const override { return message == kMsgDestroyUI; }

    // Writes results into the caller's record and calls back, unless the
    // caller has already destroyed the instance. Returns whether it did.
    template <typename Write>
    bool Deliver(KvrAuthCallback callback, AuthInfo* info, DWORD result, Write write) {
        std::lock_guard guard(m_gate->lock);
        if (m_gate->closed) return false;
        write(*info);
        callback(result, info);
        return true;
    }

private:
    void OnCreateModem(WPARAM wParam, LPARAM lParam);
    void OnUpdateModemLEDs(WPARAM wParam, LPARAM lParam);
    void OnDestroyModem(WPARAM wParam, LPARAM lParam);
    void OnUpdateSendLED(WPARAM wParam, LPARAM lParam);
    void OnUpdateReceiveLED(WPARAM wParam, LPARAM lParam);
    void OnTurnOffSendReceive(WPARAM wParam, LPARAM lParam);
    void OnCreateAuthWindow(WPARAM wParam, LPARAM lParam);
    void OnPostNarration(WPARAM wParam, LPARAM lParam);
    void OnDestroyNarrationWindow(WPARAM wParam, LPARAM lParam);
    void OnDisplayMessage(WPARAM wParam, LPARAM lParam);
    void OnDestroyUI(WPARAM wParam, LPARAM lParam);
    void OnChangePassword(WPARAM wParam, LPARAM lParam);

    void Observe(UINT message, WPARAM wParam, const void* block);
    // Copies the caller's record, unless the caller has already destroyed
    // the instance (and may have released the record).
    bool Snapshot(const AuthInfo* info, AuthInfo& copy);
    bool Destroyed();  // DestroyUI has been accepted
    void RunAuthentication(const AuthRequestBlock& request);
    void RunPasswordChange(const PasswordRequestBlock& request);

    // Whether a status window may open now; waits its turn for the thread's
    // first window. WindowOpened ends the turn, whether or not it opened.
    bool MayOpenWindow();
    // The same for a window shown whether or not the instance is destroyed.
    bool WaitWindowTurn();
    void WindowOpened();

    void OnNarrationClosed(CSelfOwnedDialog* window);
    void CloseNarration();
    void CloseWindows();

    std::shared_ptr<CallbackGate> m_gate;
    const void* m_handle = nullptr;
    KvrUiHandle* m_startedHandle = nullptr;  // Start's variable, until the thread is ready
    CModemWindow* m_modem = nullptr;
    CNarrationWindow* m_narration = nullptr;
    std::vector<CSelfOwnedDialog*> m_closingNarrations;  // shown out their time, then gone
    CMessageWindow* m_message = nullptr;
    bool m_quitting = false;  // DestroyUI handled; waiting for closing windows
    bool m_authOpen = false;        // a second request meanwhile is dropped
    bool m_passwordChanging = false;
    bool m_windowsOpened = false;  // the display connection is made
    bool m_holdsToken = false;
};

}  // namespace kvr
