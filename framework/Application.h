#pragma once
// The module's application object: its instance, its help file and its main
// window, initialised once before the module does any work. Plus the wait
// cursor shown around blocking calls.
#include <windows.h>

#include <string>

#include "Object.h"

namespace kvr {

// A dialog's help topic is this plus its template number.
inline constexpr DWORD kHelpResourceBase = 0x20000;

class CWinApp : public CObject {
    KVR_DECLARE_DYNAMIC(CWinApp)
public:
    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The module's application object, if it has one.
    static CWinApp* Get();

    // Runs InitInstance the first time; returns whether it succeeded.
    bool EnsureInitialized();

    HINSTANCE Instance() const { return m_hInstance; }
    const std::wstring& HelpFilePath() const { return m_helpFilePath; }
    HWND MainWindow() const { return m_mainWindow; }
    void SetMainWindow(HWND window) { m_mainWindow = window; }

    // WinHelp on the module's help file.
    bool WinHelp(HWND window, UINT command, ULONG_PTR data) const;

protected:
    virtual bool InitInstance() { return true; }

    HINSTANCE m_hInstance;
    std::wstring m_helpFilePath;
    HWND m_mainWindow = nullptr;

private:
    enum class State { NotStarted, Ready, Failed };
    State m_state = State::NotStarted;
};

// Shows the wait cursor for its lifetime, also when left by an exception.
class CWaitCursor {
public:
    CWaitCursor() : m_old(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { ::SetCursor(m_old); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_old;
};

}  // namespace kvr
