#include "AuthDialogs.h"

#include "KvrAuthRes.h"
#include "Resources.h"
#include "UiSupport.h"

namespace kvr {

namespace {
constexpr WPARAM kUserNameLimit = kUserNameChars - 1;
constexpr WPARAM kPasswordLimit = kPasswordChars - 1;
}  // namespace

CAuthDialog::CAuthDialog(const AuthInfo& info) : CDialog(ResourceModule(), IDD_AUTH), m_info(info) {}

BOOL CAuthDialog::OnInitDialog() {
    SetTitle(LoadResString(IDS_AUTH_TITLE) + L" - " + FieldText(m_info.dosName));
    SetItemText(IDC_SERVER_NAME, FieldText(m_info.serverName));
    ::SendMessageW(GetItem(IDC_USERNAME), EM_LIMITTEXT, kUserNameLimit, 0);
    ::SendMessageW(GetItem(IDC_PASSWORD), EM_LIMITTEXT, kPasswordLimit, 0);
    SetItemText(IDC_USERNAME, FieldText(m_info.userName));
    SetItemText(IDC_PASSWORD, L"");
    NotifyDialogShown(IDD_AUTH, m_hWnd);
    return TRUE;
}

void CAuthDialog::OnOK() {
    m_userName = GetItemText(IDC_USERNAME);
    m_password = GetItemText(IDC_PASSWORD);
    EndDialog(IDOK);
}

CChangePasswordDialog::CChangePasswordDialog(const AuthInfo& info)
    : CDialog(ResourceModule(), IDD_CHANGE_PASSWORD), m_info(info) {}

BOOL CChangePasswordDialog::OnInitDialog() {
    m_helpFile = HelpFilePath();
    if (m_helpFile.empty())
        ShowMessageBox(m_hWnd, LoadResString(IDS_NO_WINDIR_CHANGE), LoadResString(IDS_CHANGE_INIT_ERROR),
                     MB_OK | MB_ICONERROR);
    SetTitle(LoadResString(IDS_CHANGE_TITLE) + L" - " + FieldText(m_info.serverName));
    for (int id : {IDC_OLD_PASSWORD, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD}) {
        ::SendMessageW(GetItem(id), EM_LIMITTEXT, kPasswordLimit, 0);
        SetItemText(id, L"");
    }
    NotifyDialogShown(IDD_CHANGE_PASSWORD, m_hWnd);
    return TRUE;
}

void CChangePasswordDialog::OnOK() {
    const std::wstring oldPassword = GetItemText(IDC_OLD_PASSWORD);
    const std::wstring newPassword = GetItemText(IDC_NEW_PASSWORD);
    const std::wstring confirmation = GetItemText(IDC_CONFIRM_PASSWORD);
    // Exact comparisons: passwords are case-sensitive.
    if (newPassword != confirmation) return RejectNewPassword(IDS_NEW_NOT_EQUAL);
    if (oldPassword == newPassword) return RejectNewPassword(IDS_OLD_EQUALS_NEW);
    m_oldPassword = oldPassword;
    m_newPassword = newPassword;
    EndDialog(IDOK);
}

void CChangePasswordDialog::RejectNewPassword(UINT messageId) {
    ShowMessageBox(m_hWnd, LoadResString(messageId), LoadResString(IDS_CHANGE_ERROR_CAPTION),
                 MB_OK | MB_ICONQUESTION | MB_SYSTEMMODAL);
    const HWND field = GetItem(IDC_NEW_PASSWORD);
    ::SetFocus(field);
    ::SendMessageW(field, EM_SETSEL, 0, -1);
}

}  // namespace kvr
