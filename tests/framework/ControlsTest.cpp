// The control wrappers against the real common controls: what one method
// puts in, the control gives back through another (or through its own
// messages), so a wrong mask, message or structure shows.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "Controls.h"
#include "Gdi.h"

namespace kvr {
namespace {

class ControlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InitCommonControls()); }
    void SetUp() override {
        m_parent = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(m_parent, nullptr);
    }
    void TearDown() override { ::DestroyWindow(m_parent); }

    HWND Make(const wchar_t* className, DWORD style, int id = 100) {
        const HWND control =
            ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 300, 200, m_parent,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr, nullptr);
        EXPECT_NE(control, nullptr) << "class " << static_cast<const void*>(className);
        return control;
    }

    HWND m_parent = nullptr;
};

TEST_F(ControlsTest, ListBoxTextsDataAndSelection) {
    const CListBox list(Make(L"LISTBOX", LBS_NOTIFY));
    EXPECT_EQ(list.AddString(L"COM1"), 0);
    EXPECT_EQ(list.AddString(L"a longer entry of the list"), 1);
    list.SetItemData(1, 77);
    list.SetCurSel(1);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetCurSel(), 1);
    EXPECT_EQ(list.GetItemData(1), 77);
    EXPECT_EQ(list.GetItemText(0), L"COM1");
    EXPECT_EQ(list.GetItemText(1), L"a longer entry of the list");
    EXPECT_EQ(list.GetItemText(2), L"") << "no such entry";
    EXPECT_EQ(list.GetItemText(-1), L"");
}

TEST_F(ControlsTest, ComboBoxEditAndButton) {
    const CComboBox combo(Make(L"COMBOBOX", CBS_DROPDOWNLIST, 101));
    combo.AddString(L"9600");
    combo.AddString(L"19200");
    combo.SetCurSel(1);
    EXPECT_EQ(combo.GetCurSel(), 1);

    const CEdit edit(Make(L"EDIT", ES_AUTOHSCROLL, 102));
    edit.SetText(L"Harbor");
    edit.LimitText(4);
    EXPECT_EQ(edit.GetText(), L"Harbor") << "a limit stops typing, not SetText";
    EXPECT_EQ(edit.Send(EM_GETLIMITTEXT), 4);
    edit.SelectAll();
    DWORD start = 9, end = 0;
    edit.Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 6u);
    edit.Enable(false);
    EXPECT_FALSE(edit.IsEnabled());

    const CButton check(Make(L"BUTTON", BS_AUTOCHECKBOX, 103));
    EXPECT_FALSE(check.IsChecked());
    check.Click();
    EXPECT_TRUE(check.IsChecked());
    check.SetCheck(false);
    EXPECT_FALSE(check.IsChecked());
}

TEST_F(ControlsTest, ListViewItemsColumnsAndSelection) {
    const CListView list(Make(WC_LISTVIEWW, LVS_REPORT | LVS_SHOWSELALWAYS));
    UniqueImageList images(::ImageList_Create(16, 16, ILC_COLOR24, 2, 2));
    list.SetImageList(images.Get(), LVSIL_SMALL);
    EXPECT_EQ(list.InsertColumn(0, L"Device", 120), 0);
    EXPECT_EQ(list.InsertColumn(1, L"Address", 80), 1);
    EXPECT_EQ(list.GetColumnTitle(1), L"Address");
    EXPECT_EQ(list.GetColumnWidth(0), 120);
    list.SetColumnWidth(0, 90);
    EXPECT_EQ(list.GetColumnWidth(0), 90);

    EXPECT_EQ(list.InsertItem(0, L"modem1", 1), 0);
    EXPECT_EQ(list.InsertItem(1, L"modem2", 0), 1);
    list.SetItemText(1, 1, L"127.0.0.2");
    EXPECT_EQ(list.GetItemCount(), 2);
    EXPECT_EQ(list.GetItemText(0, 0), L"modem1");
    EXPECT_EQ(list.GetItemText(1, 1), L"127.0.0.2");
    EXPECT_EQ(list.GetItemText(0, 1), L"");
    EXPECT_EQ(list.GetItemImage(0), 1);
    EXPECT_EQ(list.GetItemImage(1), 0);
    EXPECT_EQ(list.GetItemImage(5), -1);

    EXPECT_EQ(list.GetSelectedIndex(), -1);
    list.SelectItem(1);
    EXPECT_EQ(list.GetSelectedIndex(), 1);
    RECT bounds{}, label{};
    ASSERT_TRUE(list.GetItemRect(1, bounds));
    ASSERT_TRUE(list.GetItemRect(1, label, LVIR_LABEL));
    EXPECT_LT(bounds.left, label.left) << "the label starts after the icon";
    EXPECT_EQ(list.HitTest({label.left + 2, (label.top + label.bottom) / 2}), 1);
    EXPECT_EQ(list.HitTest({5, 190}), -1);
    EXPECT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(list.GetItemText(0, 0), L"modem2");
    list.DeleteAllItems();
    EXPECT_EQ(list.GetItemCount(), 0);
    list.SetImageList(nullptr, LVSIL_SMALL);
}

TEST_F(ControlsTest, TreeViewNavigationDataAndImages) {
    const CTreeView tree(Make(WC_TREEVIEWW, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT));
    const HTREEITEM network = tree.InsertItem(TVI_ROOT, L"Network", 0, 1, 10, TVI_LAST);
    const HTREEITEM zebra = tree.InsertItem(network, L"Zebra", 2, 3, 11);
    const HTREEITEM harbor = tree.InsertItem(network, L"Harbor", 2, 3, 12);
    ASSERT_NE(network, nullptr);
    EXPECT_EQ(tree.GetCount(), 3);
    EXPECT_EQ(tree.GetRoot(), network);
    EXPECT_EQ(tree.GetChild(network), harbor) << "sorted on insertion";
    EXPECT_EQ(tree.GetNextSibling(harbor), zebra);
    EXPECT_EQ(tree.GetNextSibling(zebra), nullptr);
    EXPECT_EQ(tree.GetParent(zebra), network);
    EXPECT_EQ(tree.GetItemText(zebra), L"Zebra");
    EXPECT_EQ(tree.GetItemData(harbor), 12);
    EXPECT_EQ(tree.GetItemImage(harbor), 2);
    tree.SetItemImage(harbor, 4, 5);
    EXPECT_EQ(tree.GetItemImage(harbor), 4);

    EXPECT_FALSE(tree.IsExpanded(network));
    EXPECT_TRUE(tree.Expand(network, TVE_EXPAND));
    EXPECT_TRUE(tree.IsExpanded(network));
    EXPECT_EQ(tree.GetFirstVisible(), network);
    EXPECT_EQ(tree.GetNextVisible(network), harbor);
    RECT rect{};
    EXPECT_TRUE(tree.GetItemRect(harbor, rect, true));
    EXPECT_GT(rect.bottom, rect.top);
    EXPECT_TRUE(tree.SelectItem(zebra));
    EXPECT_EQ(tree.GetSelection(), zebra);
    EXPECT_TRUE(tree.DeleteItem(zebra));
    EXPECT_EQ(tree.GetCount(), 2);
    tree.DeleteAllItems();
    EXPECT_EQ(tree.GetCount(), 0);
    EXPECT_EQ(tree.GetRoot(), nullptr);
}

TEST_F(ControlsTest, TabControlTextsAndImages) {
    const CTabCtrl tabs(Make(WC_TABCONTROLW, 0));
    EXPECT_EQ(tabs.InsertItem(0, L"COM1"), 0);
    EXPECT_EQ(tabs.InsertItem(1, L"COM2", 1), 1);
    EXPECT_EQ(tabs.GetItemCount(), 2);
    EXPECT_EQ(tabs.GetItemImage(0), -1);
    EXPECT_EQ(tabs.GetItemImage(1), 1);
    tabs.SetItem(0, L"Options", 0);
    EXPECT_EQ(tabs.GetItemText(0), L"Options");
    EXPECT_EQ(tabs.GetItemImage(0), 0);
    tabs.SetItemImage(1, -1);
    EXPECT_EQ(tabs.GetItemImage(1), -1);
    EXPECT_EQ(tabs.GetItemText(1), L"COM2") << "setting the image leaves the text";
}

TEST_F(ControlsTest, RangesOfTrackBarUpDownAndProgressBar) {
    const CTrackBar trackbar(Make(TRACKBAR_CLASSW, 0, 101));
    trackbar.SetRange(1, 1440);
    trackbar.SetPos(2000);
    EXPECT_EQ(trackbar.GetPos(), 1440) << "held to the range";
    trackbar.SetPos(60);
    EXPECT_EQ(trackbar.GetPos(), 60);
    trackbar.SetLineSize(5);
    EXPECT_EQ(trackbar.Send(TBM_GETLINESIZE), 5);
    trackbar.SetTick(120);
    EXPECT_EQ(trackbar.Send(TBM_GETNUMTICS), 3) << "both ends and the one set";

    // Ranges beyond 16 bits and below zero need the 32-bit messages.
    const CUpDown upDown(Make(UPDOWN_CLASSW, 0, 102));
    upDown.SetRange(-5, 100000);
    upDown.SetPos(70000);
    EXPECT_EQ(upDown.GetPos(), 70000);
    upDown.SetPos(-3);
    EXPECT_EQ(upDown.GetPos(), -3);

    const CProgressBar progress(Make(PROGRESS_CLASSW, 0, 103));
    progress.SetRange(0, 100000);
    progress.SetPos(70000);
    EXPECT_EQ(progress.GetPos(), 70000);
    progress.Send(PBM_SETSTEP, 10);
    progress.StepIt();
    EXPECT_EQ(progress.GetPos(), 70010);
}

TEST_F(ControlsTest, StatusBarParts) {
    const CStatusBar bar(CStatusBar::Create(m_parent, 104, WS_CHILD | WS_VISIBLE | CCS_BOTTOM));
    ASSERT_TRUE(bar);
    EXPECT_EQ(::GetDlgCtrlID(bar.Get()), 104);
    const int edges[] = {100, 200, -1};
    bar.SetParts(3, edges);
    EXPECT_EQ(bar.Send(SB_GETPARTS), 3);
    bar.SetText(0, L"Searching");
    bar.SetText(2, L"3 devices found");
    EXPECT_EQ(bar.GetPartText(0), L"Searching");
    EXPECT_EQ(bar.GetPartText(1), L"");
    EXPECT_EQ(bar.GetPartText(2), L"3 devices found");
}

TEST_F(ControlsTest, ImageListCountsAndGivesIcons) {
    UniqueImageList images(::ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 1, 1));
    const BYTE andMask[32] = {}, xorMask[32] = {};
    UniqueIcon icon(::CreateIcon(nullptr, 16, 16, 1, 1, andMask, xorMask));
    ASSERT_TRUE(icon);
    ::ImageList_AddIcon(images.Get(), icon.Get());
    ::ImageList_AddIcon(images.Get(), icon.Get());
    const CImageList list(images.Get());
    EXPECT_EQ(list.Count(), 2);
    UniqueIcon extracted(list.ExtractIcon(1));
    EXPECT_TRUE(extracted);
    EXPECT_EQ(CImageList::FromBitmap(nullptr, 65000, 16, 1, RGB(255, 0, 0)), nullptr) << "no such bitmap";
}

}  // namespace
}  // namespace kvr
