#pragma once
// The narration line and the message window. Both are modeless dialogs that
// own themselves once open: they delete themselves when their window goes,
// and tell their owner so it can forget them.
#include <functional>
#include <string>

#include "Dialog.h"

namespace kvr {

class CSelfOwnedDialog : public CDialog {
public:
    using ClosedFn = std::function<void(CSelfOwnedDialog*)>;
    CSelfOwnedDialog(UINT templateId, ClosedFn onClosed);

    // Opens the window; on failure the object deletes itself and returns false.
    bool Open();

protected:
    void PostNcDestroy() override;

private:
    ClosedFn m_onClosed;
    bool m_opened = false;
};

// One line of progress at the bottom of the screen, with the library's icon.
class CNarrationWindow : public CSelfOwnedDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    static constexpr UINT_PTR kCloseTimer = 3;
    static constexpr DWORD kMinimumShowMs = 3000;

    explicit CNarrationWindow(ClosedFn onClosed);

    void SetText(const std::wstring& text);
    // Closes once the text has been up for kMinimumShowMs.
    void CloseDelayed();

private:
    void Layout();
    bool OnCloseTimer(WPARAM, LPARAM, LRESULT&);

    DWORD m_textTick = 0;
};

// A caption and a text with an OK button; OK closes it.
class CMessageWindow : public CSelfOwnedDialog {
public:
    CMessageWindow(std::wstring caption, std::wstring text, ClosedFn onClosed);

protected:
    BOOL OnInitDialog() override;
    void OnOK() override { DestroyWindow(); }
    void OnCancel() override { DestroyWindow(); }

private:
    std::wstring m_caption;
    std::wstring m_text;
};

}  // namespace kvr
