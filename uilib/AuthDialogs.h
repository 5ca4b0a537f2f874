#pragma once
// The two dialogs that collect what a server asks for. Each works on its own
// copy of the caller's record; the instance thread writes the results back.
#include <string>

#include "AuthInfo.h"
#include "Dialog.h"

namespace kvr {

// User name and password for one server.
class CAuthDialog : public CDialog {
public:
    explicit CAuthDialog(const AuthInfo& info);

    const std::wstring& UserName() const { return m_userName; }
    const std::wstring& Password() const { return m_password; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    const AuthInfo& m_info;
    std::wstring m_userName;
    std::wstring m_password;
};

// The old password and a new one typed twice; stays open until they agree.
class CChangePasswordDialog : public CDialog {
public:
    explicit CChangePasswordDialog(const AuthInfo& info);

    const std::wstring& OldPassword() const { return m_oldPassword; }
    const std::wstring& NewPassword() const { return m_newPassword; }
    const std::wstring& HelpFile() const { return m_helpFile; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    void RejectNewPassword(UINT messageId);

    const AuthInfo& m_info;
    std::wstring m_oldPassword;
    std::wstring m_newPassword;
    std::wstring m_helpFile;
};

}  // namespace kvr
