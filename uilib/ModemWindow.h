#pragma once
// The modem status window: a panel of six lamps showing the remote modem's
// status, with the send and receive lamps flashing as data flows.
#include <windows.h>

#include <functional>
#include <string>

#include "UiCallValues.h"
#include "UiOptions.h"
#include "Window.h"

namespace kvr {

class CModemWindow : public CWnd {
    KVR_DECLARE_MESSAGE_MAP()
public:
    static constexpr WORD kLampRD = ::kLampRD, kLampSD = ::kLampSD;
    static constexpr UINT_PTR kReceiveTimer = 1, kSendTimer = 2;
    static constexpr UINT kLampMs = kLampFlashMs;
    // Paints any pending change, then answers the lamp flags, with bit 8 =
    // receive timer and bit 9 = send timer running (for tests and diagnostics).
    static constexpr UINT kMsgQueryLamps = WM_APP + 1;

    using ClosedFn = std::function<void(CModemWindow*)>;

    // Opens a window for the port named in dosName; returns null (and shows
    // nothing) when the options hide it or it cannot be made. The window
    // deletes itself when closed, calling onClosed first.
    static CModemWindow* Open(const std::wstring& dosName, ClosedFn onClosed);

    void SetLamps(WORD lamps);
    void SetReceive(bool on) { Flash(kLampRD, kReceiveTimer, on); }
    void SetSend(bool on) { Flash(kLampSD, kSendTimer, on); }
    void TurnOffSendReceive();

protected:
    void PostNcDestroy() override;

private:
    CModemWindow(ModemOptions options, ClosedFn onClosed);
    ~CModemWindow() override = default;

    int Width() const;
    int Height() const;
    RECT LampRect(int lamp) const;
    void DrawLamp(int lamp) { RECT r = LampRect(lamp); ::InvalidateRect(m_hWnd, &r, FALSE); }
    void Flash(WORD lamp, UINT_PTR timer, bool on);
    void StartTimer(UINT_PTR timer);
    void StopTimer(UINT_PTR timer);
    void ApplyTopmost();
    void BuildSystemMenu();
    void Notify();

    bool OnPaint(WPARAM, LPARAM, LRESULT&);
    bool OnReceiveTimer(WPARAM, LPARAM, LRESULT&);
    bool OnSendTimer(WPARAM, LPARAM, LRESULT&);
    bool OnLarge(WPARAM, LPARAM, LRESULT&);
    bool OnOnTop(WPARAM, LPARAM, LRESULT&);
    bool OnHelp(WPARAM, LPARAM, LRESULT&);
    bool OnMove(WPARAM, LPARAM, LRESULT&);
    bool OnDestroy(WPARAM, LPARAM, LRESULT&);
    bool OnQueryLamps(WPARAM, LPARAM, LRESULT&);

    ModemOptions m_options;
    ClosedFn m_onClosed;
    WORD m_lamps = 0;
    bool m_timerRunning[3] = {};
    bool m_holdsPalette = false;
    bool m_placed = false;  // moves before this are our own placement, not the user's
    std::wstring m_helpFile;  // set once help has been opened
};

}  // namespace kvr
