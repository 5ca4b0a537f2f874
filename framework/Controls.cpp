#include "Controls.h"

#include <cstring>
#include <vector>

namespace kvr {

namespace {
constexpr int kTextChars = 512;
}

bool InitCommonControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                     ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_WIN95_CLASSES;
    return ::InitCommonControlsEx(&controls) != FALSE;
}

std::wstring CControl::GetText() const {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(m_hWnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

RECT CControl::WindowRect() const {
    RECT r{};
    ::GetWindowRect(m_hWnd, &r);
    return r;
}

std::wstring CListBox::GetItemText(int index) const {
    const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length == LB_ERR) return std::wstring();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

HIMAGELIST CImageList::FromBitmap(HINSTANCE instance, UINT bitmapId, int cell, int grow, COLORREF transparent) {
    return ::ImageList_LoadImageW(instance, MAKEINTRESOURCEW(bitmapId), cell, grow, transparent, IMAGE_BITMAP,
                                  LR_CREATEDIBSECTION);
}

void CListView::SelectItem(int index) const {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Send(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int CListView::InsertColumn(int index, const std::wstring& title, int width, int format) const {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(title.c_str());
    column.iSubItem = index;
    return static_cast<int>(Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

std::wstring CListView::GetColumnTitle(int column) const {
    wchar_t buffer[kTextChars] = {};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = buffer;
    info.cchTextMax = kTextChars;
    Send(LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&info));
    return buffer;
}

int CListView::InsertItem(int index, const std::wstring& text, int image) const {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

void CListView::SetItemText(int index, int column, const std::wstring& text) const {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

std::wstring CListView::GetItemText(int index, int column) const {
    wchar_t buffer[kTextChars] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = kTextChars;
    const auto n = Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

int CListView::GetItemImage(int index) const {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    return Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) ? item.iImage : -1;
}

int CListView::HitTest(POINT point) const {
    LVHITTESTINFO info{};
    info.pt = point;
    return static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}

bool CListView::GetItemRect(int index, RECT& rect, int code) const {
    rect.left = code;
    return Send(LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)) != 0;
}

HTREEITEM CTreeView::InsertItem(HTREEITEM parent, const std::wstring& text, int image, int selectedImage,
                                LPARAM data, HTREEITEM after) const {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

LPARAM CTreeView::GetItemData(HTREEITEM item) const {
    TVITEMW info{};
    info.mask = TVIF_PARAM;
    info.hItem = item;
    return Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info)) ? info.lParam : 0;
}

std::wstring CTreeView::GetItemText(HTREEITEM item) const {
    wchar_t buffer[kTextChars] = {};
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = buffer;
    info.cchTextMax = kTextChars;
    Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info));
    return buffer;
}

int CTreeView::GetItemImage(HTREEITEM item) const {
    TVITEMW info{};
    info.mask = TVIF_IMAGE;
    info.hItem = item;
    return Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&info)) ? info.iImage : -1;
}

void CTreeView::SetItemImage(HTREEITEM item, int image, int selectedImage) const {
    TVITEMW info{};
    info.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    info.hItem = item;
    info.iImage = image;
    info.iSelectedImage = selectedImage;
    Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&info));
}

bool CTreeView::GetItemRect(HTREEITEM item, RECT& rect, bool textOnly) const {
    std::memcpy(&rect, &item, sizeof item);  // the item goes in, its rectangle comes out
    return Send(TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(&rect)) != 0;
}

int CTabCtrl::InsertItem(int index, const std::wstring& text, int image) const {
    TCITEMW item{};
    item.mask = TCIF_TEXT | (image >= 0 ? TCIF_IMAGE : 0);
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    return static_cast<int>(Send(TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

void CTabCtrl::SetItem(int index, const std::wstring& text, int image) const {
    TCITEMW item{};
    item.mask = TCIF_TEXT | TCIF_IMAGE;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    Send(TCM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

void CTabCtrl::SetItemImage(int index, int image) const {
    TCITEMW item{};
    item.mask = TCIF_IMAGE;
    item.iImage = image;
    Send(TCM_SETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
}

int CTabCtrl::GetItemImage(int index) const {
    TCITEMW item{};
    item.mask = TCIF_IMAGE;
    return Send(TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) ? item.iImage : -1;
}

std::wstring CTabCtrl::GetItemText(int index) const {
    wchar_t buffer[kTextChars] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = kTextChars;
    Send(TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

HWND CStatusBar::Create(HWND parent, UINT id, DWORD style) {
    return ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                             reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
}

std::wstring CStatusBar::GetPartText(int part) const {
    const LRESULT info = Send(SB_GETTEXTLENGTHW, static_cast<WPARAM>(part));
    std::wstring text(static_cast<std::size_t>(LOWORD(info)) + 1, L'\0');
    Send(SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.data()));
    text.resize(LOWORD(info));
    return text;
}

}  // namespace kvr
