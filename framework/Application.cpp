#include "Application.h"

#include "Resources.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CWinApp, CObject)

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() : m_hInstance(ResourceModule()) { g_app = this; }

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* CWinApp::Get() { return g_app; }

bool CWinApp::EnsureInitialized() {
    if (m_state == State::NotStarted) m_state = InitInstance() ? State::Ready : State::Failed;
    return m_state == State::Ready;
}

bool CWinApp::WinHelp(HWND window, UINT command, ULONG_PTR data) const {
    return ::WinHelpW(window, m_helpFilePath.c_str(), command, data) != FALSE;
}

}  // namespace kvr
