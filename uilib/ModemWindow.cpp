#include "ModemWindow.h"

#include <mutex>

#include "KvrAuthRes.h"
#include "Resources.h"
#include "UiSupport.h"

namespace kvr {

namespace {

constexpr wchar_t kClassName[] = L"KvrModemStatus";
constexpr int kLampCount = 6;
constexpr int kPanelLeft = 41;
constexpr COLORREF kPanelTransparent = RGB(255, 0, 0);

// Drawing objects shared by every modem window of the process: made by the
// first window, freed with the last. The count is also the number of windows.
class SharedPalette {
public:
    static SharedPalette& Instance() {
        static SharedPalette palette;
        return palette;
    }
    // Returns the number of windows counting the new one, or 0 on failure.
    int Acquire() {
        std::lock_guard guard(m_lock);
        if (m_count == 0 && !Make()) return 0;
        return ++m_count;
    }
    void Release() {
        std::lock_guard guard(m_lock);
        if (m_count > 0 && --m_count == 0) Free();
    }
    HPEN pen(bool lit) const { return lit ? m_greenPen : m_grayPen; }
    HBRUSH brush(bool lit) const { return lit ? m_greenBrush : m_grayBrush; }
    HBITMAP panel() const { return m_panel; }

private:
    bool Make() {
        m_greenPen = ::CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
        m_greenBrush = ::CreateSolidBrush(RGB(0, 255, 0));
        m_grayPen = ::CreatePen(PS_SOLID, 1, RGB(128, 128, 128));
        m_grayBrush = ::CreateSolidBrush(RGB(128, 128, 128));
        m_panel = static_cast<HBITMAP>(::LoadImageW(ResourceModule(), MAKEINTRESOURCEW(IDB_PANEL), IMAGE_BITMAP, 0, 0, 0));
        if (m_greenPen && m_greenBrush && m_grayPen && m_grayBrush && m_panel) return true;
        Free();
        return false;
    }
    void Free() {
        for (HGDIOBJ* object : {reinterpret_cast<HGDIOBJ*>(&m_greenPen), reinterpret_cast<HGDIOBJ*>(&m_greenBrush),
                                reinterpret_cast<HGDIOBJ*>(&m_grayPen), reinterpret_cast<HGDIOBJ*>(&m_grayBrush),
                                reinterpret_cast<HGDIOBJ*>(&m_panel)}) {
            if (*object != nullptr) ::DeleteObject(*object);
            *object = nullptr;
        }
    }

    std::mutex m_lock;
    int m_count = 0;
    HPEN m_greenPen = nullptr, m_grayPen = nullptr;
    HBRUSH m_greenBrush = nullptr, m_grayBrush = nullptr;
    HBITMAP m_panel = nullptr;
};

int Scale(const ModemOptions& options) { return options.size == 2 ? 2 : 1; }

}  // namespace

KVR_BEGIN_MESSAGE_MAP(CModemWindow, CWnd)
    KVR_ON_MESSAGE(WM_PAINT, OnPaint)
    KVR_ON_TIMER(CModemWindow::kReceiveTimer, OnReceiveTimer)
    KVR_ON_TIMER(CModemWindow::kSendTimer, OnSendTimer)
    KVR_ON_SYSCOMMAND(ID_MODEM_LARGE, OnLarge)
    KVR_ON_SYSCOMMAND(ID_MODEM_ON_TOP, OnOnTop)
    KVR_ON_SYSCOMMAND(ID_MODEM_HELP, OnHelp)
    KVR_ON_MESSAGE(WM_MOVE, OnMove)
    KVR_ON_MESSAGE(WM_DESTROY, OnDestroy)
    KVR_ON_MESSAGE(CModemWindow::kMsgQueryLamps, OnQueryLamps)
KVR_END_MESSAGE_MAP()

CModemWindow::CModemWindow(ModemOptions options, ClosedFn onClosed)
    : m_options(std::move(options)), m_onClosed(std::move(onClosed)) {}

CModemWindow* CModemWindow::Open(const std::wstring& dosName, ClosedFn onClosed) {
    ModemOptions options = ReadModemOptions();
    if (options.location != L"ON") return nullptr;
    const int windows = SharedPalette::Instance().Acquire();
    if (windows == 0) return nullptr;
    auto* window = new CModemWindow(std::move(options), std::move(onClosed));
    window->m_holdsPalette = true;
    const HINSTANCE module = ResourceModule();
    RegisterWindowClass(module, kClassName, ::LoadIconW(module, MAKEINTRESOURCEW(IDI_MODEM)),
                        ::LoadCursorW(nullptr, IDC_ARROW), ::GetSysColorBrush(COLOR_BTNFACE));
    const int width = window->Width(), height = window->Height();
    int x = static_cast<int>(window->m_options.x), y = static_cast<int>(window->m_options.y);
    if (x == 0 && y == 0) {
        // Several ports' windows line up along the bottom of the work area.
        RECT work{};
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        x = (width + 2) * (windows - 1) + work.left + 2;
        y = work.bottom - height - 2;
    }
    const std::wstring title = FormatText(LoadResString(IDS_MODEM_TITLE), {dosName});
    if (!window->CreateEx(0, module, kClassName, title.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, x, y, width,
                          height, nullptr)) {
        delete window;  // PostNcDestroy leaves an unfinished window to us
        SharedPalette::Instance().Release();
        return nullptr;
    }
    window->m_placed = true;
    window->BuildSystemMenu();
    window->ApplyTopmost();
    ::ShowWindow(window->m_hWnd, SW_SHOWNOACTIVATE);
    NotifyDialogShown(IDW_MODEM, window->m_hWnd);
    return window;
}

int CModemWindow::Width() const { return 96 * Scale(m_options) + 84; }

int CModemWindow::Height() const {
    return ::GetSystemMetrics(SM_CYCAPTION) + 2 * (::GetSystemMetrics(SM_CYDLGFRAME) + 10 * Scale(m_options)) + 2;
}

RECT CModemWindow::LampRect(int lamp) const {
    const int s = Scale(m_options);
    return RECT{s * (15 * lamp + 6) + kPanelLeft, 5 * s, s * 15 * (lamp + 1) + kPanelLeft, 8 * s};
}

void CModemWindow::BuildSystemMenu() {
    const HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
    if (menu == nullptr) return;
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING | (Scale(m_options) == 2 ? MF_CHECKED : 0), ID_MODEM_LARGE,
                  LoadResString(IDS_MENU_LARGE).c_str());
    ::AppendMenuW(menu, MF_STRING | (m_options.alwaysOnTop ? MF_CHECKED : 0), ID_MODEM_ON_TOP,
                  LoadResString(IDS_MENU_ON_TOP).c_str());
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, ID_MODEM_HELP, LoadResString(IDS_MENU_HELP).c_str());
    for (UINT command : {SC_MAXIMIZE, SC_MINIMIZE, SC_RESTORE, SC_SIZE}) ::DeleteMenu(menu, command, MF_BYCOMMAND);
}

void CModemWindow::ApplyTopmost() {
    ::SetWindowPos(m_hWnd, m_options.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void CModemWindow::StartTimer(UINT_PTR timer) {
    m_timerRunning[timer] = SetTimer(timer, kLampMs);
}

void CModemWindow::StopTimer(UINT_PTR timer) {
    if (m_timerRunning[timer]) KillTimer(timer);
    m_timerRunning[timer] = false;
}

void CModemWindow::SetLamps(WORD lamps) {
    m_lamps = lamps;
    if (lamps & kLampSD) StartTimer(kSendTimer); else StopTimer(kSendTimer);
    if (lamps & kLampRD) StartTimer(kReceiveTimer); else StopTimer(kReceiveTimer);
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
    Notify();
}

void CModemWindow::Flash(WORD lamp, UINT_PTR timer, bool on) {
    const int index = lamp == kLampRD ? 4 : 5;
    if (on) {
        if (m_lamps & lamp) return;
        m_lamps |= lamp;
        DrawLamp(index);
        StartTimer(timer);
    } else {
        if (!(m_lamps & lamp)) return;
        m_lamps &= static_cast<WORD>(~lamp);
        DrawLamp(index);
        StopTimer(timer);
    }
    Notify();
}

void CModemWindow::TurnOffSendReceive() {
    m_lamps &= static_cast<WORD>(~(kLampRD | kLampSD));
    DrawLamp(4);
    DrawLamp(5);
    StopTimer(kReceiveTimer);
    StopTimer(kSendTimer);
    Notify();
}

void CModemWindow::Notify() {
    if (CUIThreadObserver* observer = UIThreadObserver()) observer->OnLamps(m_hWnd, m_lamps);
}

bool CModemWindow::OnPaint(WPARAM, LPARAM, LRESULT&) {
    PAINTSTRUCT ps;
    const HDC dc = ::BeginPaint(m_hWnd, &ps);
    const SharedPalette& palette = SharedPalette::Instance();
    const int s = Scale(m_options);
    if (const HDC source = ::CreateCompatibleDC(dc)) {
        const HGDIOBJ old = ::SelectObject(source, palette.panel());
        BITMAP bm{};
        ::GetObjectW(palette.panel(), sizeof bm, &bm);
        ::GdiTransparentBlt(dc, kPanelLeft, 0, bm.bmWidth * s, bm.bmHeight * s, source, 0, 0, bm.bmWidth,
                            bm.bmHeight, kPanelTransparent);
        ::SelectObject(source, old);
        ::DeleteDC(source);
    }
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
        const bool lit = (m_lamps >> lamp) & 1;
        const HGDIOBJ oldPen = ::SelectObject(dc, palette.pen(lit));
        const HGDIOBJ oldBrush = ::SelectObject(dc, palette.brush(lit));
        const RECT r = LampRect(lamp);
        ::Rectangle(dc, r.left, r.top, r.right, r.bottom);
        ::SelectObject(dc, oldBrush);
        ::SelectObject(dc, oldPen);
    }
    ::EndPaint(m_hWnd, &ps);
    return true;
}

bool CModemWindow::OnReceiveTimer(WPARAM, LPARAM, LRESULT&) {
    SetReceive(false);
    return true;
}

bool CModemWindow::OnSendTimer(WPARAM, LPARAM, LRESULT&) {
    SetSend(false);
    return true;
}

bool CModemWindow::OnLarge(WPARAM, LPARAM, LRESULT&) {
    m_options.size = Scale(m_options) == 2 ? 1 : 2;
    ::CheckMenuItem(::GetSystemMenu(m_hWnd, FALSE), ID_MODEM_LARGE,
                    MF_BYCOMMAND | (m_options.size == 2 ? MF_CHECKED : MF_UNCHECKED));
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, Width(), Height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
    SaveModemOptions(m_options);
    return true;
}

bool CModemWindow::OnOnTop(WPARAM, LPARAM, LRESULT&) {
    m_options.alwaysOnTop = m_options.alwaysOnTop ? 0 : 1;
    ::CheckMenuItem(::GetSystemMenu(m_hWnd, FALSE), ID_MODEM_ON_TOP,
                    MF_BYCOMMAND | (m_options.alwaysOnTop ? MF_CHECKED : MF_UNCHECKED));
    ApplyTopmost();
    SaveModemOptions(m_options);
    return true;
}

bool CModemWindow::OnHelp(WPARAM, LPARAM, LRESULT&) {
    const std::wstring helpFile = HelpFilePath();
    if (helpFile.empty()) {
        ShowMessageBox(m_hWnd, LoadResString(IDS_NO_WINDIR_MODEM), LoadResString(IDS_MODEM_INIT_ERROR),
                     MB_OK | MB_ICONERROR);
        return true;
    }
    m_helpFile = helpFile;
    ::WinHelpW(m_hWnd, m_helpFile.c_str(), HELP_CONTENTS, 0);
    return true;
}

bool CModemWindow::OnMove(WPARAM, LPARAM, LRESULT&) {
    if (!m_placed) return false;
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    m_options.x = static_cast<DWORD>(r.left < 0 ? 0 : r.left);
    m_options.y = static_cast<DWORD>(r.top < 0 ? 0 : r.top);
    return true;
}

bool CModemWindow::OnDestroy(WPARAM, LPARAM, LRESULT&) {
    StopTimer(kReceiveTimer);
    StopTimer(kSendTimer);
    SaveModemOptions(m_options);
    if (!m_helpFile.empty()) ::WinHelpW(m_hWnd, m_helpFile.c_str(), HELP_QUIT, 0);
    return true;
}

bool CModemWindow::OnQueryLamps(WPARAM, LPARAM, LRESULT& result) {
    ::UpdateWindow(m_hWnd);  // what is reported is also what is on the screen
    result = m_lamps | (m_timerRunning[kReceiveTimer] ? 0x100 : 0) | (m_timerRunning[kSendTimer] ? 0x200 : 0);
    return true;
}

void CModemWindow::PostNcDestroy() {
    if (!m_placed) return;  // creation failed: Open cleans up
    NotifyDialogClosed(IDW_MODEM, this);
    if (m_onClosed) m_onClosed(this);
    if (m_holdsPalette) SharedPalette::Instance().Release();
    delete this;
}

}  // namespace kvr
