#pragma once
// Thin wrappers over the common controls: an HWND and one-line methods over
// the control's messages. They own nothing; the dialog owns its controls.
#include <windows.h>
#include <commctrl.h>

#include <string>

namespace kvr {

// Registers the common control classes the applet and the libraries use.
bool InitCommonControls();

class CControl {
public:
    CControl() = default;
    explicit CControl(HWND window) : m_hWnd(window) {}
    CControl(HWND dialog, int id) : m_hWnd(::GetDlgItem(dialog, id)) {}

    HWND Get() const { return m_hWnd; }
    explicit operator bool() const { return m_hWnd != nullptr; }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    bool IsEnabled() const { return ::IsWindowEnabled(m_hWnd) != FALSE; }
    void Enable(bool enable) const { ::EnableWindow(m_hWnd, enable); }
    std::wstring GetText() const;
    void SetText(const std::wstring& text) const { ::SetWindowTextW(m_hWnd, text.c_str()); }
    void SetRedraw(bool redraw) const { Send(WM_SETREDRAW, redraw); }
    void Invalidate(bool erase = true) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    RECT WindowRect() const;

protected:
    HWND m_hWnd = nullptr;
};

class CButton : public CControl {
public:
    using CControl::CControl;
    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
    void Click() const { Send(BM_CLICK); }
};

class CEdit : public CControl {
public:
    using CControl::CControl;
    void LimitText(int characters) const { Send(EM_LIMITTEXT, static_cast<WPARAM>(characters)); }
    void SelectAll() const { Send(EM_SETSEL, 0, -1); }
};

class CListBox : public CControl {
public:
    using CControl::CControl;
    int AddString(const std::wstring& text) const {
        return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int GetCount() const { return static_cast<int>(Send(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(Send(LB_GETCURSEL)); }
    void SetCurSel(int index) const { Send(LB_SETCURSEL, static_cast<WPARAM>(index)); }
    void SetItemData(int index, LPARAM data) const { Send(LB_SETITEMDATA, static_cast<WPARAM>(index), data); }
    LPARAM GetItemData(int index) const { return Send(LB_GETITEMDATA, static_cast<WPARAM>(index)); }
    std::wstring GetItemText(int index) const;
};

class CComboBox : public CControl {
public:
    using CControl::CControl;
    int AddString(const std::wstring& text) const {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    void SetCurSel(int index) const { Send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
};

class CImageList {
public:
    CImageList() = default;
    explicit CImageList(HIMAGELIST list) : m_list(list) {}
    HIMAGELIST Get() const { return m_list; }
    int Count() const { return ::ImageList_GetImageCount(m_list); }
    HICON ExtractIcon(int index) const { return ::ImageList_GetIcon(m_list, index, ILD_TRANSPARENT); }

    // A list made from a bitmap resource of cells `cell` pixels wide, with
    // one colour transparent; the caller owns it (UniqueImageList).
    static HIMAGELIST FromBitmap(HINSTANCE instance, UINT bitmapId, int cell, int grow, COLORREF transparent);

private:
    HIMAGELIST m_list = nullptr;
};

class CListView : public CControl {
public:
    using CControl::CControl;
    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    int GetSelectedIndex() const {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    void SelectItem(int index) const;
    int InsertColumn(int index, const std::wstring& title, int width, int format = LVCFMT_LEFT) const;
    int GetColumnWidth(int column) const { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, column)); }
    void SetColumnWidth(int column, int width) const { Send(LVM_SETCOLUMNWIDTH, column, width); }
    std::wstring GetColumnTitle(int column) const;
    int GetStringWidth(const std::wstring& text) const {
        return static_cast<int>(Send(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int InsertItem(int index, const std::wstring& text, int image) const;
    void SetItemText(int index, int column, const std::wstring& text) const;
    std::wstring GetItemText(int index, int column) const;
    int GetItemImage(int index) const;
    bool DeleteItem(int index) const { return Send(LVM_DELETEITEM, static_cast<WPARAM>(index)) != 0; }
    void DeleteAllItems() const { Send(LVM_DELETEALLITEMS); }
    void SetImageList(HIMAGELIST list, int which) const {
        Send(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list));
    }
    int HitTest(POINT point) const;
    bool GetItemRect(int index, RECT& rect, int code = LVIR_BOUNDS) const;
    void EnsureVisible(int index) const { Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), FALSE); }
    int GetTopIndex() const { return static_cast<int>(Send(LVM_GETTOPINDEX)); }
    int GetCountPerPage() const { return static_cast<int>(Send(LVM_GETCOUNTPERPAGE)); }
    void RedrawItems(int first, int last) const { Send(LVM_REDRAWITEMS, first, last); }
    HIMAGELIST CreateDragImage(int index, POINT& origin) const {
        return reinterpret_cast<HIMAGELIST>(
            Send(LVM_CREATEDRAGIMAGE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&origin)));
    }
};

class CTreeView : public CControl {
public:
    using CControl::CControl;
    HTREEITEM InsertItem(HTREEITEM parent, const std::wstring& text, int image, int selectedImage, LPARAM data,
                         HTREEITEM after = TVI_SORT) const;
    bool DeleteItem(HTREEITEM item) const { return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != 0; }
    void DeleteAllItems() const { Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)); }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const {
        return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetRoot() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetSelection() const { return GetNextItem(nullptr, TVGN_CARET); }
    HTREEITEM GetChild(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSibling(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParent(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetFirstVisible() const { return GetNextItem(nullptr, TVGN_FIRSTVISIBLE); }
    HTREEITEM GetNextVisible(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXTVISIBLE); }
    bool SelectItem(HTREEITEM item) const {
        return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
    }
    bool Expand(HTREEITEM item, UINT action) const {
        return Send(TVM_EXPAND, action, reinterpret_cast<LPARAM>(item)) != 0;
    }
    UINT GetItemState(HTREEITEM item, UINT mask) const {
        return static_cast<UINT>(Send(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), mask));
    }
    bool IsExpanded(HTREEITEM item) const { return (GetItemState(item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0; }
    LPARAM GetItemData(HTREEITEM item) const;
    std::wstring GetItemText(HTREEITEM item) const;
    int GetItemImage(HTREEITEM item) const;
    void SetItemImage(HTREEITEM item, int image, int selectedImage) const;
    bool GetItemRect(HTREEITEM item, RECT& rect, bool textOnly) const;
    void SetImageList(HIMAGELIST list, int which = TVSIL_NORMAL) const {
        Send(TVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list));
    }
    int GetCount() const { return static_cast<int>(Send(TVM_GETCOUNT)); }
};

class CTabCtrl : public CControl {
public:
    using CControl::CControl;
    int GetItemCount() const { return static_cast<int>(Send(TCM_GETITEMCOUNT)); }
    int InsertItem(int index, const std::wstring& text, int image = -1) const;
    void SetItem(int index, const std::wstring& text, int image) const;
    void SetItemImage(int index, int image) const;
    int GetItemImage(int index) const;
    std::wstring GetItemText(int index) const;
    void SetImageList(HIMAGELIST list) const { Send(TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(list)); }
};

class CTrackBar : public CControl {
public:
    using CControl::CControl;
    void SetRange(int minimum, int maximum) const { Send(TBM_SETRANGE, TRUE, MAKELPARAM(minimum, maximum)); }
    void SetLineSize(int size) const { Send(TBM_SETLINESIZE, 0, size); }
    void SetPageSize(int size) const { Send(TBM_SETPAGESIZE, 0, size); }
    void SetTick(int position) const { Send(TBM_SETTIC, 0, position); }
    int GetPos() const { return static_cast<int>(Send(TBM_GETPOS)); }
    void SetPos(int position) const { Send(TBM_SETPOS, TRUE, position); }
};

class CUpDown : public CControl {
public:
    using CControl::CControl;
    void SetRange(int minimum, int maximum) const { Send(UDM_SETRANGE32, minimum, maximum); }
    int GetPos() const { return static_cast<int>(Send(UDM_GETPOS32)); }
    void SetPos(int position) const { Send(UDM_SETPOS32, 0, position); }
};

class CProgressBar : public CControl {
public:
    using CControl::CControl;
    void SetRange(int minimum, int maximum) const { Send(PBM_SETRANGE32, minimum, maximum); }
    void SetPos(int position) const { Send(PBM_SETPOS, static_cast<WPARAM>(position)); }
    void StepIt() const { Send(PBM_STEPIT); }
    int GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }
};

class CStatusBar : public CControl {
public:
    using CControl::CControl;
    static HWND Create(HWND parent, UINT id, DWORD style);
    void SetParts(int count, const int* rightEdges) const {
        Send(SB_SETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rightEdges));
    }
    void SetText(int part, const std::wstring& text) const {
        Send(SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring GetPartText(int part) const;
};

}  // namespace kvr
