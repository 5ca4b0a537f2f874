// The registry layer: typed reads refuse values of the wrong type or size,
// texts come back whole in both forms, and created keys say they are new.
#include <gtest/gtest.h>

#include "Registry.h"
#include "ScratchRegistry.h"

namespace {

using kvr::RegKey;

class RegistryTest : public ::testing::Test {
protected:
    ScratchRegistry m_registry;
    RegKey m_key = RegKey::Create(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Test");
};

TEST_F(RegistryTest, CreateTellsWhetherTheKeyIsNew) {
    bool created = false;
    RegKey fresh = RegKey::Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fresh", kvr::kKeyWriteRights, &created);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(created);
    RegKey again = RegKey::Create(HKEY_LOCAL_MACHINE, L"software\\fresh", kvr::kKeyWriteRights, &created);
    ASSERT_TRUE(again);
    EXPECT_FALSE(created);
    LONG error = 0;
    EXPECT_FALSE(RegKey::Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Missing", KEY_READ, &error));
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, DwordMustBeFourBytesOfRegDword) {
    const DWORD four = 7;
    const WORD two = 7;
    ASSERT_TRUE(m_key.WriteDword(L"Good", 42));
    ASSERT_TRUE(m_key.WriteBinary(L"Binary", &four, sizeof four));
    ASSERT_TRUE(m_key.WriteBinary(L"Short", &two, sizeof two));
    ASSERT_TRUE(m_key.WriteText(L"Text", L"42"));
    EXPECT_EQ(m_key.ReadDword(L"Good"), 42u);
    EXPECT_EQ(m_key.ReadDword("good"), 42u);  // names compare without regard to case
    for (const wchar_t* name : {L"Binary", L"Short", L"Text", L"Missing"})
        EXPECT_FALSE(m_key.ReadDword(name).has_value()) << name;
}

TEST_F(RegistryTest, TextsComeBackWholeInBothForms) {
    const std::wstring longText(600, L'x');
    ASSERT_TRUE(m_key.WriteText(L"Long", longText));
    ASSERT_TRUE(m_key.WriteText("Narrow", std::string("abc")));
    ASSERT_TRUE(m_key.WriteText(L"Empty", L""));
    EXPECT_EQ(m_key.ReadText(L"Long"), longText);
    EXPECT_EQ(m_key.ReadText("Long"), std::string(600, 'x'));
    EXPECT_EQ(m_key.ReadText(L"Narrow"), L"abc");
    EXPECT_EQ(m_key.ReadText(L"Empty"), L"");
    ASSERT_TRUE(m_key.WriteDword(L"Number", 1));
    EXPECT_FALSE(m_key.ReadText(L"Number").has_value());
    EXPECT_FALSE(m_key.ReadText(L"Missing").has_value());
}

TEST_F(RegistryTest, UnterminatedTextStopsAtItsEnd) {
    const wchar_t raw[3] = {L'a', L'b', L'c'};
    ASSERT_EQ(RegSetValueExW(m_key.Get(), L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), sizeof raw),
              ERROR_SUCCESS);
    EXPECT_EQ(m_key.ReadText(L"Raw"), L"abc");
}

TEST_F(RegistryTest, TextIntoABufferFitsWithItsTerminatorOrCountsAsMissing) {
    ASSERT_TRUE(m_key.WriteText(L"Four", L"abcd"));
    ASSERT_TRUE(m_key.WriteDword(L"Number", 1));
    const struct {
        const wchar_t* name;
        std::size_t capacity;
        bool found;
    } cases[] = {{L"Four", 5, true}, {L"Four", 4, false}, {L"Number", 5, false}, {L"Missing", 5, false},
                 {L"Four", 0, false}};
    for (const auto& c : cases) {
        wchar_t out[8] = {L'?', L'?', L'?', L'?', L'?', L'?', L'?', 0};
        EXPECT_EQ(m_key.ReadText(c.name, out, c.capacity), c.found) << c.name << " " << c.capacity;
        EXPECT_EQ(std::wstring(out), c.found ? L"abcd" : L"???????") << c.name << " " << c.capacity;
    }
}

TEST_F(RegistryTest, QueryReportsTypeAndFullSize) {
    ASSERT_TRUE(m_key.WriteText(L"Text", L"hello"));
    wchar_t small[2];
    const kvr::RegValueInfo info = m_key.Query(L"Text", small, sizeof small);
    EXPECT_EQ(info.status, ERROR_MORE_DATA);
    EXPECT_EQ(info.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(info.size, 12u);
    EXPECT_TRUE(info.Found());
    EXPECT_FALSE(m_key.Query(L"Missing", nullptr, 0).Found());
}

TEST_F(RegistryTest, SubkeysAreListedAndDeletedWithTheirContents) {
    RegKey::Create(m_key.Get(), L"One\\Deep");
    RegKey::Create(m_key.Get(), "Two");
    EXPECT_EQ(m_key.SubKeyCount(), 2u);
    EXPECT_EQ(m_key.SubKeyName(0), L"One");
    EXPECT_EQ(m_key.SubKeyNameA(1), "Two");
    LONG status = 0;
    EXPECT_FALSE(m_key.SubKeyName(2, &status).has_value());
    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    EXPECT_TRUE(m_key.DeleteTree(L"One"));
    EXPECT_EQ(m_key.SubKeyCount(), 1u);
}

}  // namespace
