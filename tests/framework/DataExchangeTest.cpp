// The data-exchange table: what counts as an integer, the message each
// failed field shows (caught with the message-box hook), where the focus is
// left, and members untouched by a save that failed.
#include <gtest/gtest.h>

#include <windows.h>

#include <array>
#include <climits>
#include <string>
#include <vector>

#include "DataExchange.h"
#include "Dialog.h"
#include "FrameworkTestRes.h"
#include "Resources.h"

namespace kvr {
namespace {

TEST(ParseInteger, TakesWholeDecimalIntegersOnly) {
    struct Case {
        const wchar_t* text;
        bool ok;
        int value;
    };
    const Case cases[] = {
        {L"0", true, 0},
        {L"42", true, 42},
        {L"-42", true, -42},
        {L"+42", true, 42},
        {L"  7 ", true, 7},
        {L"\t7\t", true, 7},
        {L"007", true, 7},
        {L"-0", true, 0},
        {L"2147483647", true, INT_MAX},
        {L"-2147483648", true, INT_MIN},
        {L"2147483648", false, 0},
        {L"-2147483649", false, 0},
        // Would come out as 12 if the digits were kept modulo 2^32.
        {L"4294967308", false, 0},
        {L"99999999999999999999999", false, 0},
        {L"", false, 0},
        {L"   ", false, 0},
        {L"-", false, 0},
        {L"+", false, 0},
        {L"+-1", false, 0},
        {L"--1", false, 0},
        {L"- 1", false, 0},
        {L"1 2", false, 0},
        {L"12a", false, 0},
        {L"a12", false, 0},
        {L"0x10", false, 0},
        {L"1.5", false, 0},
        {L"1e3", false, 0},
        {L"\xFF11\xFF12", false, 0},  // full-width digits
    };
    for (const Case& c : cases) {
        int value = -777;
        EXPECT_EQ(ParseInteger(c.text, value), c.ok) << ToAnsi(c.text);
        EXPECT_EQ(value, c.ok ? c.value : -777) << ToAnsi(c.text) << ": a failure leaves the value alone";
    }
}

struct Box {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;
};

class BoxCatcher : public CMessageBoxHook {
public:
    BoxCatcher() { SetMessageBoxHook(this); }
    ~BoxCatcher() { SetMessageBoxHook(nullptr); }
    bool OnMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type,
                      int& answer) override {
        boxes.push_back({owner, text, caption, type});
        answer = IDOK;
        return true;
    }
    std::vector<Box> boxes;
};

struct Members {
    int number = 30;
    int offset = 0;
    std::wstring name = L"old";
    int flag = 0;
    bool operator==(const Members&) const = default;
};

class DataExchangeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dialog.Create()); }

    std::array<DdxField, 4> Fields() {
        return {DdxInteger(IDC_NUMBER, m_members.number, 1, 60), DdxInteger(IDC_SIGNED, m_members.offset, -10, 10),
                DdxText(IDC_NAME, m_members.name, 8), DdxCheck(IDC_FLAG, m_members.flag)};
    }
    HWND Item(int id) const { return m_dialog.GetItem(id); }
    void Fill(const wchar_t* number, const wchar_t* offset, const wchar_t* name, bool flag) {
        m_dialog.SetItemText(IDC_NUMBER, number);
        m_dialog.SetItemText(IDC_SIGNED, offset);
        m_dialog.SetItemText(IDC_NAME, name);
        m_dialog.SetCheck(IDC_FLAG, flag);
    }

    CDialog m_dialog{ResourceModule(), IDD_FIELDS};
    Members m_members;
    BoxCatcher m_boxes;
};

TEST_F(DataExchangeTest, SaveValidatesEveryFieldAndSaysWhatIsWrong) {
    struct Case {
        const wchar_t* number;
        const wchar_t* offset;
        const wchar_t* name;
        bool flag;
        // Empty when the save succeeds.
        const wchar_t* message;
        int failingId;
        Members saved;
    };
    const Members untouched;
    const Case cases[] = {
        {L"12", L"-3", L"Harbor", true, L"", 0, {12, -3, L"Harbor", 1}},
        {L" 1 ", L"+10", L"", false, L"", 0, {1, 10, L"", 0}},
        {L"60", L"-10", L"12345678", true, L"", 0, {60, -10, L"12345678", 1}},
        {L"0", L"0", L"x", true, L"Please enter an integer between 1 and 60.", IDC_NUMBER, untouched},
        {L"61", L"0", L"x", true, L"Please enter an integer between 1 and 60.", IDC_NUMBER, untouched},
        {L"-5", L"0", L"x", true, L"Please enter an integer between 1 and 60.", IDC_NUMBER, untouched},
        {L"", L"0", L"x", true, L"Please enter an integer.", IDC_NUMBER, untouched},
        {L"   ", L"0", L"x", true, L"Please enter an integer.", IDC_NUMBER, untouched},
        {L"ten", L"0", L"x", true, L"Please enter an integer.", IDC_NUMBER, untouched},
        {L"4294967308", L"0", L"x", true, L"Please enter an integer.", IDC_NUMBER, untouched},
        // The fields before the failing one validated: they stay untouched too.
        {L"12", L"-11", L"x", true, L"Please enter an integer between -10 and 10.", IDC_SIGNED, untouched},
        {L"12", L"11", L"x", true, L"Please enter an integer between -10 and 10.", IDC_SIGNED, untouched},
        {L"12", L"1-", L"x", true, L"Please enter an integer.", IDC_SIGNED, untouched},
        {L"12", L"3", L"123456789", true, L"Please enter no more than 8 characters.", IDC_NAME, untouched},
    };
    for (const Case& c : cases) {
        m_members = Members{};
        m_boxes.boxes.clear();
        Fill(c.number, c.offset, c.name, c.flag);
        const bool saved = ExchangeData(m_dialog.m_hWnd, Fields(), true);
        const std::string label = ToAnsi(std::wstring(c.number) + L"|" + c.offset + L"|" + c.name);
        EXPECT_EQ(m_members, c.saved) << label;
        if (*c.message == L'\0') {
            EXPECT_TRUE(saved) << label;
            EXPECT_TRUE(m_boxes.boxes.empty()) << label;
            continue;
        }
        EXPECT_FALSE(saved) << label;
        ASSERT_EQ(m_boxes.boxes.size(), 1u) << label;
        const Box& box = m_boxes.boxes[0];
        EXPECT_EQ(box.text, c.message) << label;
        EXPECT_EQ(box.caption, L"Fields") << label;
        EXPECT_EQ(box.owner, m_dialog.m_hWnd) << label;
        EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION)) << label;
        // The field to mend has the focus, its text selected for retyping.
        EXPECT_EQ(::GetFocus(), Item(c.failingId)) << label;
        DWORD start = 1, end = 0;
        ::SendMessageW(Item(c.failingId), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u) << label;
        EXPECT_EQ(end, static_cast<DWORD>(::GetWindowTextLengthW(Item(c.failingId)))) << label;
    }
}

TEST_F(DataExchangeTest, LoadPutsTheMembersIntoTheControls) {
    struct Case {
        Members members;
        const wchar_t* number;
        const wchar_t* offset;
        bool checked;
    };
    const Case cases[] = {
        {{INT_MAX, INT_MIN, L"12345678", 1}, L"2147483647", L"-2147483648", true},
        {{42, -7, L"Harbor", 1}, L"42", L"-7", true},
        {{1, 0, L"", 0}, L"1", L"0", false},
    };
    for (const Case& c : cases) {
        m_members = c.members;
        ASSERT_TRUE(ExchangeData(m_dialog.m_hWnd, Fields(), false));
        EXPECT_EQ(m_dialog.GetItemText(IDC_NUMBER), c.number);
        EXPECT_EQ(m_dialog.GetItemText(IDC_SIGNED), c.offset);
        EXPECT_EQ(m_dialog.GetItemText(IDC_NAME), c.members.name);
        EXPECT_EQ(m_dialog.IsChecked(IDC_FLAG), c.checked);
        // The user cannot type more than the field holds.
        EXPECT_EQ(::SendMessageW(Item(IDC_NAME), EM_GETLIMITTEXT, 0, 0), 8);
        EXPECT_TRUE(m_boxes.boxes.empty());
    }
    // What was loaded saves back unchanged.
    const Members loaded = m_members;
    ASSERT_TRUE(ExchangeData(m_dialog.m_hWnd, Fields(), true));
    EXPECT_EQ(m_members, loaded);
}

}  // namespace
}  // namespace kvr
