#include "InfoWindows.h"

#include "KvrAuthRes.h"
#include "Resources.h"
#include "UiSupport.h"

namespace kvr {

CSelfOwnedDialog::CSelfOwnedDialog(UINT templateId, ClosedFn onClosed)
    : CDialog(ResourceModule(), templateId), m_onClosed(std::move(onClosed)) {}

bool CSelfOwnedDialog::Open() {
    // Owner the desktop: no window of the service to hang on.
    if (Create(nullptr)) {
        m_opened = true;
        return true;
    }
    delete this;
    return false;
}

void CSelfOwnedDialog::PostNcDestroy() {
    if (!m_opened) return;  // creation failed: Open cleans up
    NotifyDialogClosed(TemplateId(), this);
    if (m_onClosed) m_onClosed(this);
    delete this;
}

KVR_BEGIN_MESSAGE_MAP(CNarrationWindow, CDialog)
    KVR_ON_TIMER(CNarrationWindow::kCloseTimer, OnCloseTimer)
KVR_END_MESSAGE_MAP()

CNarrationWindow::CNarrationWindow(ClosedFn onClosed) : CSelfOwnedDialog(IDD_NARRATION, std::move(onClosed)) {}

void CNarrationWindow::SetText(const std::wstring& text) {
    SetItemText(IDC_NARRATION_TEXT, text);
    m_textTick = ::GetTickCount();
    Layout();
}

void CNarrationWindow::Layout() {
    const HWND label = GetItem(IDC_NARRATION_TEXT);
    const std::wstring text = GetItemText(IDC_NARRATION_TEXT);
    SIZE extent{};
    if (const HDC dc = ::GetDC(label)) {
        const HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        ::SelectObject(dc, old);
        ::ReleaseDC(label, dc);
    }
    const int iconWidth = ::GetSystemMetrics(SM_CXICON), iconHeight = ::GetSystemMetrics(SM_CYICON);
    const int iconAreaWidth = 8 + iconWidth + 8, iconAreaHeight = iconHeight;
    const int width = extent.cx + iconAreaWidth + 12;
    const int height = iconAreaHeight + 8;
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::SetWindowPos(GetItem(IDC_NARRATION_ICON), nullptr, 8, 4, iconWidth, iconHeight, SWP_NOZORDER);
    ::SetWindowPos(label, nullptr, iconAreaWidth, (height - extent.cy) / 2, extent.cx + 4, extent.cy,
                   SWP_NOZORDER);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, (work.right - width) / 2, work.bottom - height - 10, width, height,
                   SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void CNarrationWindow::CloseDelayed() {
    const DWORD shown = ::GetTickCount() - m_textTick;
    if (shown < kMinimumShowMs && SetTimer(kCloseTimer, kMinimumShowMs - shown)) return;
    DestroyWindow();
}

bool CNarrationWindow::OnCloseTimer(WPARAM, LPARAM, LRESULT&) {
    KillTimer(kCloseTimer);
    DestroyWindow();
    return true;
}

CMessageWindow::CMessageWindow(std::wstring caption, std::wstring text, ClosedFn onClosed)
    : CSelfOwnedDialog(IDD_MESSAGE, std::move(onClosed)), m_caption(std::move(caption)), m_text(std::move(text)) {}

BOOL CMessageWindow::OnInitDialog() {
    SetTitle(m_caption);
    SetItemText(IDC_MESSAGE_TEXT, m_text);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::ShowWindow(m_hWnd, SW_SHOW);
    NotifyDialogShown(IDD_MESSAGE, m_hWnd);
    return TRUE;
}

}  // namespace kvr
