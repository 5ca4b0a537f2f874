#pragma once
// The upgrade from the old product's settings: when the registry says one is
// pending, the Chooser offers to copy the old user name, network type,
// narration and port lists into its model and store them.
#include <string>

#include "Dialog.h"
#include "Gdi.h"
#include "OldProfile.h"

namespace kvr {

class CRegistryInfo;
class CUpgradeProgressDlg;

class CUpgrade {
public:
    explicit CUpgrade(CRegistryInfo& model);
    ~CUpgrade();

    // True when this opening of the Chooser ends here (the user answered the
    // question); false lets the sheet be shown.
    bool Run();

    // Whether the old file holds anything worth copying.
    static bool HasOldSettings(const ProfileSection& settings);
    bool UpgradeOptions(const ProfileSection& settings);
    bool UpgradePorts(const ProfileSection& settings);
    bool UpgradeEntry(const std::string& name, const std::string& group, int port);

    std::wstring m_strIniPath;

private:
    static bool SetFlag(DWORD value);
    void SetProgress(UINT status, int percent);
    void CloseProgress();

    CRegistryInfo* m_pRegistryInfo;
    CUpgradeProgressDlg* m_progress = nullptr;
};

// A dialog with the logo drawn over one of its statics.
class CLogoDialog : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    CLogoDialog(UINT templateId, int pictureId);

protected:
    BOOL OnInitDialog() override;

private:
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    int m_pictureId;
    UniqueBitmap m_logo;
};

// "Do you wish to copy ...": IDYES, IDNO, or IDCANCEL when closed otherwise.
class CUpgradeDlg : public CLogoDialog {
public:
    CUpgradeDlg();

protected:
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CUpgradeProgressDlg : public CLogoDialog {
public:
    CUpgradeProgressDlg();
    void SetStatus(const std::wstring& text, int percent);
    void Step();

protected:
    BOOL OnInitDialog() override;

private:
    UniqueFont m_symbolFont;
};

// Lists the redirected ports and offers the Modems control panel.
class CUpgradeCompleteDlg : public CLogoDialog {
public:
    explicit CUpgradeCompleteDlg(const CRegistryInfo& model);

protected:
    BOOL OnInitDialog() override;

private:
    const CRegistryInfo& m_model;
};

}  // namespace kvr
