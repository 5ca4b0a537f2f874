// The registry layer: typed reads refuse values of the wrong type or size,
// texts come back whole in both forms, and created keys say they are new.
#include <gtest/gtest.h>

#include <map>
#include <string>

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

TEST_F(RegistryTest, AnyValueReadsAsTextUpToItsFirstNul) {
    const BYTE binary[] = {'a', 'b', 'c', 0, 'd'};
    ASSERT_TRUE(m_key.WriteBinary(L"Binary", binary, sizeof binary));
    ASSERT_TRUE(m_key.WriteText("Text", std::string(600, 't')));
    ASSERT_TRUE(m_key.WriteDword(L"Number", 0x41));
    EXPECT_EQ(m_key.ReadAnyAsText("Binary"), "abc");
    EXPECT_EQ(m_key.ReadAnyAsText("Text"), std::string(600, 't'));
    EXPECT_EQ(m_key.ReadAnyAsText(L"Text"), std::wstring(600, L't'));
    EXPECT_EQ(m_key.ReadAnyAsText("Number"), "A");
    EXPECT_FALSE(m_key.ReadAnyAsText("Missing").has_value());
    EXPECT_FALSE(m_key.ReadText("Binary").has_value());  // the typed read refuses it
}

// Every value of the key by name, as ValueAt or ValueAtA lists them; the
// status that ended the list in *end.
template <typename Char, typename List>
std::map<std::basic_string<Char>, kvr::RegNamedValue<Char>> AllValues(List list, LONG* end) {
    std::map<std::basic_string<Char>, kvr::RegNamedValue<Char>> values;
    for (DWORD index = 0; index < 10; ++index) {
        auto value = list(index, end);
        if (!value) break;
        values[value->name] = *value;
    }
    return values;
}

TEST_F(RegistryTest, ValuesAreEnumeratedWhole) {
    const std::string longName(300, 'n');
    const std::string longData(5000, 'd');
    ASSERT_TRUE(m_key.WriteText("First", std::string("1")));
    ASSERT_TRUE(m_key.WriteText(longName.c_str(), longData));
    ASSERT_TRUE(m_key.WriteDword("Last", 7));

    LONG end = ERROR_SUCCESS;
    auto narrow = AllValues<char>([&](DWORD i, LONG* status) { return m_key.ValueAtA(i, status); }, &end);
    EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(narrow.size(), 3u);
    EXPECT_EQ(narrow["First"].type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(narrow["First"].data, std::string("1", 2));  // with its NUL, as stored
    EXPECT_EQ(narrow[longName].data, longData + '\0');
    EXPECT_EQ(narrow["Last"].type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(narrow["Last"].data, std::string("\7\0\0\0", 4));

    auto wide = AllValues<wchar_t>([&](DWORD i, LONG* status) { return m_key.ValueAt(i, status); }, &end);
    EXPECT_EQ(end, ERROR_NO_MORE_ITEMS);
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[L"First"].data, std::string("1\0\0\0", 4));  // the wide text's bytes
    EXPECT_EQ(wide[std::wstring(300, L'n')].data.size(), (longData.size() + 1) * sizeof(wchar_t));
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
