#include "SearchingDialog.h"

#include "ChooserConstants.h"
#include "ChooserRes.h"
#include "Controls.h"
#include "Resources.h"

namespace kvr {

CSearchingDialog::CSearchingDialog(bool ipx) : CDialog(ResourceModule(), IDD_SEARCHING), m_ipx(ipx) {}

bool CSearchingDialog::Open(HWND owner) {
    HWND parent = owner;
    if (owner != nullptr && !::IsWindowVisible(owner)) parent = ::GetParent(owner);
    if (!Create(parent)) return false;
    ::ShowWindow(m_hWnd, SW_SHOWNA);
    ::UpdateWindow(m_hWnd);
    return true;
}

BOOL CSearchingDialog::OnInitDialog() {
    // Centre on the screen's work area whatever the parent.
    RECT work{}, r{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::GetWindowRect(m_hWnd, &r);
    ::SetWindowPos(m_hWnd, nullptr, work.left + (work.right - work.left - (r.right - r.left)) / 2,
                   work.top + (work.bottom - work.top - (r.bottom - r.top)) / 2, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetItemText(IDC_SEARCH_UPPER, FormatResString(IDS_SEARCHING_FOR, {m_ipx ? kNetworkIpx : kNetworkTcpIp}));
    return FALSE;
}

void CSearchingDialog::SetTextNow(int id, const std::wstring& text) {
    SetItemText(id, text);
    ::UpdateWindow(GetItem(id));
}

void CSearchingDialog::SetRange(int count) { CProgressBar(m_hWnd, IDC_SEARCH_PROGRESS).SetRange(0, count); }

void CSearchingDialog::SetPosition(int position) {
    const CProgressBar bar(m_hWnd, IDC_SEARCH_PROGRESS);
    bar.SetPos(position);
    ::UpdateWindow(bar.Get());
}

}  // namespace kvr
