#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "DeviceFile.h"

using namespace kvr::browse;

namespace {

using namespace std::string_literals;  // "\0" inside literals needs the sized form

// The parse result as one line, e.g. "A{Name=x,Type=y}B{}", so a mismatch
// shows the whole structure.
std::string Render(const std::vector<DeviceFileSection>& sections) {
    std::string out;
    for (const DeviceFileSection& s : sections) {
        out += s.name + "{";
        for (std::size_t i = 0; i < s.entries.size(); ++i) {
            if (i != 0) out += ",";
            out += s.entries[i].first + "=" + s.entries[i].second;
        }
        out += "}";
    }
    return out;
}

struct ParseCase {
    const char* what;
    std::string bytes;
    std::string sections;  // as Render writes them
};

const ParseCase kParseCases[] = {
    // Line ends.
    {"LF", "[A]\nName=x\n[B]\nName=y\n", "A{Name=x}B{Name=y}"},
    {"CR", "[A]\rName=x\rType=t", "A{Name=x,Type=t}"},
    {"CRLF", "[A]\r\nName=x\r\nType=t\r\n", "A{Name=x,Type=t}"},
    {"runs of CR and LF", "\r\n\r[A]\r\r\n\n\rName=x\n\r\n", "A{Name=x}"},
    {"NUL ends a line", "[A]\0Name=x\0\0Type=t"s, "A{Name=x,Type=t}"},
    {"0x1A ends the file", "[A]\nName=x\n\x1A\n[B]\nType=t\n", "A{Name=x}"},
    {"0x1A inside a line ends it and the file", "[A]\nName=ab\x1A" "cd\nType=t", "A{Name=ab}"},
    {"file of only 0x1A", "\x1A[A]", ""},
    {"empty file", "", ""},
    // Leading blanks and line kinds.
    {"leading blanks and tabs", " \t [A]\n\t  Name=x\n", "A{Name=x}"},
    {"comment lines", "[A]\n;Name=x\n  ;Type=t\nVersion=1", "A{Version=1}"},
    {"lines starting with =", "[A]\n=x\n \t=Name=y\n", "A{}"},
    {"lines without = are ignored", "[A]\njunk\nName x\n", "A{}"},
    {"semicolon later in the line belongs to the value", "[A]\nName=x ; y", "A{Name=x ; y}"},
    // Keys and values.
    {"key and value trimmed", "[A]\nName \t =  \t x y \t \n", "A{Name=x y}"},
    {"blanks inside the key stay", "[A]\nDevice  Name=x", "A{Device  Name=x}"},
    {"value holds later =", "[A]\nName=a=b", "A{Name=a=b}"},
    {"empty value", "[A]\nName=\nType=  \n", "A{Name=,Type=}"},
    {"other bytes pass through", "[A\xE9]\nN\xFFme=\x80\x01", "A\xE9{N\xFFme=\x80\x01}"},
    // Sections.
    {"name is the text between the brackets", "[ A b ] trailing\nName=x", " A b {Name=x}"},
    {"empty name", "[]\nName=x", "{Name=x}"},
    {"first ] closes the name", "[A]B]\nName=x", "A{Name=x}"},
    {"section without ] is ignored; entries stay in the open one", "[A]\nName=x\n[B\nType=t\n[C=1\n",
     "A{Name=x,Type=t}"},
    {"entries before the first section are dropped", "Name=x\n[B\nType=t\n[A]\nVersion=2", "A{Version=2}"},
    {"repeated names stay separate devices", "[A]\nName=1\n[a]\nName=2", "A{Name=1}a{Name=2}"},
};

TEST(DeviceFileParse, ReadsSectionsAndEntries) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.what);
        // An exactly sized copy, so a read past the end leaves the allocation.
        const std::vector<char> exact(c.bytes.begin(), c.bytes.end());
        EXPECT_EQ(Render(ParseDeviceFile(std::string_view(exact.data(), exact.size()))), c.sections);
    }
}

class DeviceFileSectionTest : public testing::Test {
protected:
    const DeviceFileSection& Device() const { return sections_.at(0); }

    std::vector<DeviceFileSection> sections_ =
        ParseDeviceFile("[Harbor]\nNAME=Harbor One\nType=rasd\nname=second\nIpAddress = 10.0.0.7 \t\n");
};

TEST_F(DeviceFileSectionTest, FindsTheFirstEntryCaseBlind) {
    ASSERT_EQ(sections_.size(), 1u);
    const struct {
        const char* key;
        const char* value;  // nullptr: not found
    } cases[] = {
        {"Name", "Harbor One"}, {"name", "Harbor One"}, {"TYPE", "rasd"},
        {"IPAddress", "10.0.0.7"}, {"Version", nullptr}, {"Nam", nullptr}, {"", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        const std::string* value = Device().Find(c.key);
        if (c.value == nullptr) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(*value, c.value);
        }
    }
}

TEST_F(DeviceFileSectionTest, MatchesValuesCaseBlind) {
    EXPECT_TRUE(Device().HasValue("RASD"));
    EXPECT_TRUE(Device().HasValue("harbor one"));
    EXPECT_TRUE(Device().HasValue("SECOND"));
    EXPECT_FALSE(Device().HasValue("Type"));  // keys are not values
    EXPECT_FALSE(Device().HasValue("Harbor"));
}

TEST_F(DeviceFileSectionTest, AddressValueIsReadAfterTrimming) {
    EXPECT_EQ(ParseDottedAddress(*Device().Find("IPAddress")), (std::array<std::uint8_t, 4>{10, 0, 0, 7}));
}

// A hostile file cannot grow the result without bound: sections past the
// limit are dropped, and so are their entries rather than landing in the
// last kept section.
TEST(DeviceFileParse, LimitsSectionsAndEntries) {
    std::string manySections;
    for (std::size_t i = 0; i < kMaxDeviceFileSections + 5; ++i) manySections += "[S]\nk=v\n";
    const std::vector<DeviceFileSection> sections = ParseDeviceFile(manySections);
    ASSERT_EQ(sections.size(), kMaxDeviceFileSections);
    EXPECT_EQ(sections.back().entries.size(), 1u);

    std::string manyEntries = "[A]\n";
    for (std::size_t i = 0; i < kMaxDeviceFileEntries / 2 + 3; ++i) manyEntries += "k=v\n";
    manyEntries += "[B]\n";
    for (std::size_t i = 0; i < kMaxDeviceFileEntries / 2 + 3; ++i) manyEntries += "k=v\n";
    const std::vector<DeviceFileSection> two = ParseDeviceFile(manyEntries);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].entries.size() + two[1].entries.size(), kMaxDeviceFileEntries);
}

TEST(DeviceFileValues, LeadingVersionNumber) {
    constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
    const struct {
        const char* text;
        std::uint32_t version;
    } cases[] = {
        {"3.1", 3}, {"4.0", 4}, {"v12x", 12}, {"007", 7}, {" 2 3", 2}, {"", 0}, {"none", 0},
        {"4294967295", kMax}, {"4294967296", kMax}, {"99999999999999999999", kMax}, {"-5", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(LeadingVersionNumber(c.text), c.version);
    }
}

TEST(DeviceFileValues, DottedAddress) {
    using Address = std::array<std::uint8_t, 4>;
    const Address none{};
    const struct {
        const char* text;
        Address address;
    } cases[] = {
        {"192.168.1.20", {192, 168, 1, 20}},
        {"255.255.255.255", {255, 255, 255, 255}},
        {"0.0.0.0", none},
        {"001.002.003.004", {1, 2, 3, 4}},  // 15 characters
        {"0001.002.003.04", {1, 2, 3, 4}},
        {"0001.0002.003.04", none},  // 16 characters
        {"1.2.3.0000000004", none},
        {"256.1.1.1", none},
        {"1.2.3.999999999", none},
        {"1.2.3.4.5", none},
        {"1.2.3", none},
        {"a.b.c.d", none},
        {"1.2.3.4x", none},
        {"1..2.3", none},
        {".1.2.3", none},
        {"1.2.3.", none},
        {"1.2.3.4.", none},
        {" 1.2.3.4", none},
        {"1.2.3.4 ", none},
        {"1.2. 3.4", none},
        {"1.2.-3.4", none},
        {"1.2.+3.4", none},
        {"", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string text = c.text;
        const std::vector<char> exact(text.begin(), text.end());
        EXPECT_EQ(ParseDottedAddress(std::string_view(exact.data(), exact.size())), c.address);
    }
}

}  // namespace
