#pragma once
// Property sheets and their pages. A page is a dialog whose sheet
// notifications become virtual handlers (OnSetActive, OnKillActive, OnApply,
// OnReset, OnQueryCancel); the sheet is a window of the system's that we
// subclass, so its messages pass through our handler tables too.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "Dialog.h"

namespace kvr {

// The sheet's own Apply button.
inline constexpr int kApplyNowButton = 0x3021;

class CPropertySheet;

class CPropertyPage : public CDialog {
    KVR_DECLARE_DYNAMIC(CPropertyPage)
public:
    CPropertyPage(HINSTANCE instance, UINT templateId);

    // Marks the page changed (the sheet's Apply becomes available) or not.
    void SetModified(bool modified = true);
    // The sheet window this page lives in, once created.
    HWND SheetWindow() const { return m_hWnd ? ::GetParent(m_hWnd) : nullptr; }
    // Help flag and context of the page (PSP_HASHELP).
    void SetHelp(bool hasHelp) { m_hasHelp = hasHelp; }

    // Filled by the sheet before it creates the page.
    PROPSHEETPAGEW MakePage();

protected:
    // True lets the page become active.
    virtual bool OnSetActive() { return true; }
    // True lets the user leave the page.
    virtual bool OnKillActive() { return true; }
    // True accepts the changes (PSNRET_NOERROR); false keeps the sheet open.
    virtual bool OnApply() { return true; }
    virtual void OnReset() {}
    // True lets the sheet be cancelled.
    virtual bool OnQueryCancel() { return true; }
    // The sheet's Help button: the page's topic in the module's help file.
    virtual void OnHelp();

    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A page never ends itself: OK and Cancel belong to the sheet.
    void OnOK() override {}
    void OnCancel() override {}

private:
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool m_hasHelp = false;
};

class CPropertySheet : public CWnd, protected CMessageFilter {
    KVR_DECLARE_DYNAMIC(CPropertySheet)
public:
    CPropertySheet(HINSTANCE instance, std::wstring caption, UINT startPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage* page) { m_pages.push_back(page); }
    void SetFlags(DWORD flags) { m_extraFlags |= flags; }

    // Runs the sheet modally: the owner is disabled and the calling thread's
    // message loop (with its filters) runs until OK or Cancel ends the sheet.
    // Returns IDOK or IDCANCEL, or -1 if the sheet could not be made.
    INT_PTR DoModal(HWND owner);

    int PageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int index) const { return m_pages[static_cast<std::size_t>(index)]; }
    int GetPageIndex(const CPropertyPage* page) const;
    int GetActiveIndex() const;
    bool SetActivePage(int index);
    HWND GetTabControl() const;

protected:
    // The sheet's window exists, its first page too: set it up before it
    // is shown.
    virtual void OnInitSheet() {}
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslateMessage(MSG& msg) override;

    HINSTANCE m_instance;
    std::wstring m_caption;
    INT_PTR m_result = IDCANCEL;

private:
    static int CALLBACK SheetCallback(HWND hwnd, UINT message, LPARAM lParam);
    bool OnCommandMessage(WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool OnPressButton(WPARAM wParam, LPARAM lParam, LRESULT& result);
    void NoteWhetherOkEnded();

    UINT m_startPage;
    DWORD m_extraFlags = 0;
    std::vector<CPropertyPage*> m_pages;
    bool m_registered = false;

    KVR_DECLARE_MESSAGE_MAP()
};

}  // namespace kvr
