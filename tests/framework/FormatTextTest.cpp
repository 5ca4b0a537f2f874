// Typed printf-style formatting and the module's string table: each pattern
// with its arguments and the text a user would see.
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <initializer_list>
#include <string>

#include "FrameworkTestRes.h"
#include "Resources.h"

namespace kvr {
namespace {

struct FormatCase {
    const wchar_t* pattern;
    std::initializer_list<FormatArg> args;
    const wchar_t* expected;
};

void ExpectFormats(std::initializer_list<FormatCase> cases) {
    for (const FormatCase& c : cases)
        EXPECT_EQ(FormatText(c.pattern, c.args), c.expected) << ToAnsi(c.pattern);
}

TEST(FormatText, SignedNumbers) {
    ExpectFormats({
        {L"%d", {42}, L"42"},
        {L"%i", {-3}, L"-3"},
        {L"[%5d]", {42}, L"[   42]"},
        {L"[%-5d]", {42}, L"[42   ]"},
        {L"[%05d]", {42}, L"[00042]"},
        {L"[%05d]", {-42}, L"[-0042]"},
        {L"[%-05d]", {-42}, L"[-42  ]"},
        {L"%+d %+d", {5, -5}, L"+5 -5"},
        {L"[% d]", {5}, L"[ 5]"},
        {L"%.3d", {7}, L"007"},
        {L"[%6.3d]", {-7}, L"[  -007]"},
        {L"[%06.3d]", {7}, L"[   007]"},  // a precision turns zero padding off
        {L"[%1d]", {12345}, L"[12345]"},  // a width never cuts
        {L"%d", {INT_MIN}, L"-2147483648"},
        {L"%lld", {LLONG_MIN}, L"-9223372036854775808"},
        {L"%ld %I64d %hd %lld", {1L, 2LL, 3, 4LL}, L"1 2 3 4"},
        {L"%d", {L'A'}, L"65"},
    });
}

TEST(FormatText, UnsignedAndHexadecimalNumbers) {
    ExpectFormats({
        {L"%u", {4000000000u}, L"4000000000"},
        // A negative number shows in its own width, as printf shows it.
        {L"%u", {-1}, L"4294967295"},
        {L"%u", {-1L}, L"4294967295"},
        {L"%lu", {-2L}, L"4294967294"},
        {L"%llu", {-1LL}, L"18446744073709551615"},
        {L"%x", {255}, L"ff"},
        {L"%X", {255}, L"FF"},
        {L"%02X", {5}, L"05"},
        {L"%02X", {0x1FF}, L"1FF"},
        {L"%04X", {0xAB}, L"00AB"},
        {L"%04x", {0xABCDEu}, L"abcde"},
        {L"%X", {-1}, L"FFFFFFFF"},
        {L"%08lX", {static_cast<long>(0x80004005)}, L"80004005"},
        {L"%I64X", {-1LL}, L"FFFFFFFFFFFFFFFF"},
        {L"%o", {8}, L"10"},
        {L"%x", {0}, L"0"},
        {L"%02X:%02X", {0x0A, 0xFFu}, L"0A:FF"},
    });
}

TEST(FormatText, CharactersAndTexts) {
    const std::wstring owned = L"owned";
    ExpectFormats({
        {L"%c", {L'A'}, L"A"},
        {L"%c", {66}, L"B"},
        {L"[%3c]", {L'x'}, L"[  x]"},
        {L"[%-3c]", {L'x'}, L"[x  ]"},
        {L"%c", {L"text"}, L"t"},
        {L"%s", {L"text"}, L"text"},
        {L"%S", {L"wide"}, L"wide"},
        {L"%ls", {owned}, L"owned"},
        {L"%s", {std::wstring_view(L"viewed")}, L"viewed"},
        {L"[%.2s]", {L"text"}, L"[te]"},
        {L"[%6s]", {L"ab"}, L"[    ab]"},
        {L"[%-6s]", {L"ab"}, L"[ab    ]"},
        {L"[%06s]", {L"ab"}, L"[    ab]"},  // zero padding is for numbers
        {L"[%s]", {static_cast<const wchar_t*>(nullptr)}, L"[]"},
        // A number given for %s shows as its decimal text.
        {L"%s", {42}, L"42"},
        {L"%s", {-42}, L"-42"},
        {L"%s", {42u}, L"42"},
        {L"[%4s]", {-4}, L"[  -4]"},
        {L"%s", {L'c'}, L"c"},
        // A text given for a number shows as it is.
        {L"%d", {L"seven"}, L"seven"},
    });
}

TEST(FormatText, PercentSignsUnknownConversionsAndMissingArguments) {
    ExpectFormats({
        {L"100%%", {}, L"100%"},
        {L"%%d", {1}, L"%d"},
        {L"%y %d", {1}, L"%y 1"},  // kept, and it takes no argument
        {L"%5.2f|%d", {2}, L"%5.2f|2"},
        {L"%", {}, L"%"},
        {L"50%", {1}, L"50%"},
        {L"%-", {}, L"%-"},
        {L"%d and %d", {1}, L"1 and "},
        {L"[%s][%d][%c]", {}, L"[][][]"},
        {L"%d", {1, 2}, L"1"},  // extra arguments are ignored
        {L"no conversions", {1}, L"no conversions"},
        {L"", {1}, L""},
    });
}

TEST(ResourceStrings, LoadAndFormatFromTheModulesTable) {
    EXPECT_EQ(LoadResString(IDS_PORT_OF), L"Port %d of %s");
    EXPECT_EQ(FormatResString(IDS_PORT_OF, {2, L"Harbor"}), L"Port 2 of Harbor");
    EXPECT_EQ(FormatResString(IDS_EMPTY_PATTERN, {L"a"}), L"a");
    EXPECT_EQ(LoadResString(65000), L"");
    EXPECT_EQ(FormatResString(65000, {1}), L"");
    EXPECT_EQ(ResourceModule(), ::GetModuleHandleW(nullptr)) << "the framework is linked into the test program";
}

TEST(ResourceStrings, AnsiRoundTrip) {
    EXPECT_EQ(FromAnsi("COM3 at 9600"), L"COM3 at 9600");
    EXPECT_EQ(ToAnsi(L"COM3 at 9600"), "COM3 at 9600");
    EXPECT_EQ(FromAnsi(""), L"");
    EXPECT_EQ(ToAnsi(L""), "");
    EXPECT_EQ(FromAnsi(std::string_view("a\0b", 3)), std::wstring(L"a\0b", 3));
}

}  // namespace
}  // namespace kvr
