#include "Dialog.h"

#include "MessageLoop.h"

namespace kvr {

KVR_IMPLEMENT_DYNAMIC(CDialog, CWnd)

CDialog::~CDialog() {
    UnregisterFilter();
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
        // The object is going: its window must not reach it any more.
        ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
}

std::wstring CDialog::GetItemText(int id) const {
    const HWND item = GetItem(id);
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

INT_PTR CDialog::DoModal(HWND owner) {
    CWinThread* thread = CWinThread::Current();
    if (thread == nullptr) {
        // The system's modal loop; EndDialog ends it.
        m_modal = true;
        const INT_PTR result = ::DialogBoxParamW(m_instance, MAKEINTRESOURCEW(m_templateId), owner, &DialogProc,
                                                 reinterpret_cast<LPARAM>(this));
        m_modal = false;
        return result;
    }
    m_modal = true;
    m_ended = false;
    m_result = -1;
    if (::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_templateId), owner, &DialogProc,
                             reinterpret_cast<LPARAM>(this)) == nullptr) {
        m_modal = false;
        return -1;
    }
    const bool ownerWasEnabled = owner != nullptr && !::EnableWindow(owner, FALSE);
    thread->AddMessageFilter(this);
    m_filterThread = thread;
    ::ShowWindow(m_hWnd, SW_SHOW);
    // EndDialog (or the window's destruction) ends the loop.
    if (!thread->RunModalLoop([this] { return m_ended || m_hWnd == nullptr; })) m_result = IDCANCEL;
    thread->RemoveMessageFilter(this);
    m_filterThread = nullptr;
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
    m_modal = false;
    return m_result;
}

bool CDialog::Create(HWND owner) {
    m_modal = false;
    if (::CreateDialogParamW(m_instance, MAKEINTRESOURCEW(m_templateId), owner, &DialogProc,
                             reinterpret_cast<LPARAM>(this)) == nullptr)
        return false;
    RegisterFilter();
    return true;
}

void CDialog::RegisterFilter() {
    if (CWinThread* thread = CWinThread::Current()) {
        thread->AddMessageFilter(this);
        m_filterThread = thread;
    } else {
        AddThreadMessageFilter(this);
        m_threadFilter = true;
    }
}

void CDialog::UnregisterFilter() {
    if (m_filterThread != nullptr) m_filterThread->RemoveMessageFilter(this);
    m_filterThread = nullptr;
    if (m_threadFilter) RemoveThreadMessageFilter(this);
    m_threadFilter = false;
}

void CDialog::EndDialog(INT_PTR result) {
    m_result = result;
    m_ended = true;
    if (m_modal) {
        if (CWinThread::Current() == nullptr) {
            ::EndDialog(m_hWnd, result);
            return;
        }
        // DoModal destroys the window once its loop sees the end; wake the
        // loop in case we got here from a sent message.
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
        return;
    }
    if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
}

bool CDialog::PreTranslateMessage(MSG& msg) {
    return m_hWnd != nullptr && ::IsDialogMessageW(m_hWnd, &msg);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (RouteMessage(message, wParam, lParam, result)) {
        // These answer through the procedure's own result, not DWLP_MSGRESULT.
        const bool direct = (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ||
                            message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
                            message == WM_QUERYDRAGICON || message == WM_INITDIALOG;
        if (direct) return static_cast<INT_PTR>(result);
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            if (LOWORD(wParam) == IDOK) return OnOK(), TRUE;
            if (LOWORD(wParam) == IDCANCEL) return OnCancel(), TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

void CDialog::Attach(CDialog* self, HWND hwnd) {
    self->m_hWnd = hwnd;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) Attach(reinterpret_cast<CDialog*>(lParam), hwnd);
    return HandleDialogMessage(reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER)), hwnd, message,
                               wParam, lParam);
}

INT_PTR CDialog::HandleDialogMessage(CDialog* self, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (self == nullptr) return FALSE;
    INT_PTR handled = FALSE;
    try {
        handled = self->Dispatch(message, wParam, lParam);
    } catch (...) {
        // Exceptions stop here: the dialog manager cannot unwind them.
        handled = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        if (!self->m_modal) self->UnregisterFilter();
        self->PostNcDestroy();
    }
    return handled;
}

}  // namespace kvr
