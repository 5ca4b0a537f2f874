#pragma once
// The Options tab: user name, narration, the modem window, the network type
// (whose switch empties every port and is stored at once), the advanced
// options and the About box behind the logo.
#include <array>
#include <string>

#include "DataExchange.h"
#include "Gdi.h"
#include "PropertySheet.h"

namespace kvr {

class CChooserPropertySheet;
class CRegistryInfo;

class COptionsPage : public CPropertyPage {
    KVR_DECLARE_DYNAMIC(COptionsPage)
public:
    COptionsPage(CChooserPropertySheet& sheet, CRegistryInfo& model);

protected:
    BOOL OnInitDialog() override;
    bool OnSetActive() override;

private:
    void ModelChanged();
    void SwitchTransport(const wchar_t* target);
    bool ConfirmTransportSwitch();
    void ShowTransport(bool ipx);
    void WarnIfMissing(int family, bool selected, const wchar_t* name, const wchar_t* other);

    void OnUsernameFocus();
    void OnUsernameBlur();
    void OnUsernameChange();
    void OnNarrateClicked();
    void OnModemDisplayClicked();
    void OnTcpIpClicked();
    void OnIpxClicked();
    void OnAdvancedClicked();
    void OnLogoClicked();
    bool OnDrawItem(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnSetCursor(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnPaint(WPARAM, LPARAM, LRESULT& result);
    bool OnColorStatic(WPARAM wParam, LPARAM, LRESULT& result);
    bool OnSysColorChange(WPARAM, LPARAM, LRESULT& result);

    CChooserPropertySheet& m_sheet;
    CRegistryInfo& m_model;
    bool m_editHasFocus = false;
    bool m_switching = false;
    UniqueFont m_symbolFont;
    HCURSOR m_hand = nullptr;
    UniqueBrush m_shadow;
    UniqueBitmap m_logo[4];  // up, down, focused, disabled

    KVR_DECLARE_MESSAGE_MAP()
};

// The modal "Advanced Options" dialog: discovery, authentication and
// password caching settings, handed in and out as plain values.
class CAdvancedOptionsDlg : public CDialog {
    KVR_DECLARE_MESSAGE_MAP()
public:
    CAdvancedOptionsDlg();

    int m_reopenSeconds = 12;
    std::wstring m_lookupMethods;
    int m_showUsableOnly = 1;
    int m_silent = 1;
    int m_cacheMinutes = 60;  // 0 disabled, -1 until Windows shuts down

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    std::array<DdxField, 4> Fields();
    void Refresh();
    void EnableOk();
    void OnDisabledClicked();
    void OnTimedClicked();
    void OnForeverClicked();
    void OnDefaults();
    bool OnScroll(WPARAM, LPARAM lParam, LRESULT& result);
    bool OnHelpRequest(WPARAM, LPARAM lParam, LRESULT& result);
};

}  // namespace kvr
