#pragma once
// CDialog: a dialog built from a template. One static dialog procedure takes
// the object from the creation parameter and dispatches to the handler table
// and the virtual OnInitDialog/OnOK/OnCancel. A modal dialog on a framework
// thread runs that thread's own pump, so its thread messages keep flowing.
#include <windows.h>

#include <string>

#include "UIThread.h"
#include "Window.h"

namespace kvr {

class CDialog : public CWnd, protected CMessageFilter {
    KVR_DECLARE_DYNAMIC(CDialog)
public:
    CDialog(HINSTANCE instance, UINT templateId) : m_instance(instance), m_templateId(templateId) {}
    ~CDialog() override;

    // Returns the value passed to EndDialog, or -1 if the dialog could not open.
    INT_PTR DoModal(HWND owner = nullptr);
    // Opens a modeless dialog.
    bool Create(HWND owner = nullptr);
    void EndDialog(INT_PTR result);

    UINT TemplateId() const { return m_templateId; }
    std::wstring GetItemText(int id) const;
    void SetItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(m_hWnd, id, text.c_str()); }
    void SetTitle(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
    void EnableItem(int id, bool enable) const { ::EnableWindow(GetItem(id), enable); }
    bool IsChecked(int id) const { return ::IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }
    void SetCheck(int id, bool checked) const {
        ::CheckDlgButton(m_hWnd, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }

protected:
    // Returns TRUE to let the system set the focus.
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    LRESULT DefaultProc(UINT, WPARAM, LPARAM) override { return 0; }
    bool PreTranslateMessage(MSG& msg) override;

    HINSTANCE m_instance;

    // Routes one message of this dialog: the handler table, then the
    // virtual handlers. Returns what a dialog procedure returns.
    virtual INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    // The body of a dialog procedure once the object is known: dispatch,
    // exceptions stopped, and the object let go at WM_NCDESTROY.
    static INT_PTR HandleDialogMessage(CDialog* self, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static void Attach(CDialog* self, HWND hwnd);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void RegisterFilter();
    void UnregisterFilter();

    UINT m_templateId;
    bool m_modal = false;
    bool m_ended = false;
    INT_PTR m_result = -1;
    CWinThread* m_filterThread = nullptr;
    bool m_threadFilter = false;  // registered with the thread's plain loop
};

}  // namespace kvr
