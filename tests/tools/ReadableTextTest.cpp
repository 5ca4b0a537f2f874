// How the command-line tools print names: as a person reads them, and
// nothing in them reaches the terminal as a control.
#include <gtest/gtest.h>

#include <string>

#include "ReadableText.h"

TEST(ReadableTextTest, NamesReadAsWrittenAndUnprintableBytesAreSafe) {
    const struct {
        std::string text;
        const char* printed;
    } cases[] = {
        {"Ordeon Rack 9", "\"Ordeon Rack 9\""},
        {"", "\"\""},
        {"Dock \"7\" C:\\modems", "\"Dock \\\"7\\\" C:\\\\modems\""},
        {"bell\a esc\x1B[2J tab\t", "\"bell\\x07 esc\\x1B[2J tab\\x09\""},
        {"del\x7F csi\x9B caf\xE9", "\"del\\x7F csi\\x9B caf\\xE9\""},
    };
    for (const auto& c : cases) EXPECT_EQ(kvr::Quoted(c.text), c.printed) << c.printed;
}

TEST(ReadableTextTest, FixedFieldsEndAtTheirNulOrTheirSize) {
    const char terminated[8] = "Harbor";
    const char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(kvr::Quoted(terminated, sizeof terminated), "\"Harbor\"");
    EXPECT_EQ(kvr::Quoted(full, sizeof full), "\"abcd\"");
}
