#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "WireCodec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using wire::ParseStatus;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A scrambled password of 20 values; the values after the given ones are 0.
std::vector<std::uint16_t> Scrambled(std::initializer_list<std::uint16_t> values) {
    std::vector<std::uint16_t> out(kScrambledBuffer, 0);
    std::copy(values.begin(), values.end(), out.begin());
    return out;
}

const std::vector<std::uint16_t> kPassword = Scrambled({0x1234, 0x0081, 0x00FF});
const std::vector<std::uint16_t> kEmptyPassword = Scrambled({});
const std::vector<std::uint16_t> kUnterminated(kScrambledBuffer, 0x01C1);
const std::vector<std::uint16_t> kZeroLowByte = Scrambled({0x0141, 0x0100, 0x0142});
const Bytes kFour = {0xDE, 0xAD, 0xBE, 0xEF};
const std::u16string kLongText(300, u'x');

struct BuildCase {
    const char* name;
    std::size_t capacity;
    std::function<std::size_t(std::uint8_t*, std::size_t)> build;
    Bytes expected;  // empty: the builder must refuse and return 0
};

const BuildCase kBuildCases[] = {
    {"data", 64, [](auto* b, auto c) { return wire::BuildData(b, c, kFour.data(), 4); },
     {0x00, 0x00, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}},
    {"empty data", 64, [](auto* b, auto c) { return wire::BuildData(b, c, nullptr, 0); },
     {0x00, 0x00, 0x00}},
    {"data cut to the room after the header", 5,
     [](auto* b, auto c) { return wire::BuildData(b, c, kFour.data(), 4); },
     {0x00, 0x00, 0x02, 0xDE, 0xAD}},
    {"data without room for its header", 2,
     [](auto* b, auto c) { return wire::BuildData(b, c, kFour.data(), 4); }, {}},
    {"data missing its bytes", 64, [](auto* b, auto c) { return wire::BuildData(b, c, nullptr, 4); },
     {}},
    {"login", 64,
     [](auto* b, auto c) { return wire::BuildLogin(b, c, u"bob", kPassword.data(), u"P1"); },
     {0x01, 0x03, 'b', 'o', 'b', 0x03, 0x34, 0x81, 0xFF, 0x02, 'P', '1'}},
    {"silent login without password", 64,
     [](auto* b, auto c) { return wire::BuildLogin(b, c, u"bob", nullptr, u"P1"); },
     {0x01, 0x03, 'b', 'o', 'b', 0x00, 0x02, 'P', '1'}},
    {"silent login with empty password", 64,
     [](auto* b, auto c) { return wire::BuildLogin(b, c, u"bob", kEmptyPassword.data(), u"P1"); },
     {0x01, 0x03, 'b', 'o', 'b', 0x00, 0x02, 'P', '1'}},
    {"login fitting exactly", 12,
     [](auto* b, auto c) { return wire::BuildLogin(b, c, u"bob", kPassword.data(), u"P1"); },
     {0x01, 0x03, 'b', 'o', 'b', 0x03, 0x34, 0x81, 0xFF, 0x02, 'P', '1'}},
    {"login one byte short is refused, not shortened", 11,
     [](auto* b, auto c) { return wire::BuildLogin(b, c, u"bob", kPassword.data(), u"P1"); }, {}},
    {"settings", 9,
     [](auto* b, auto c) { return wire::BuildSettings(b, c, SerialSettings{6, 1, 8, 1, 4, 3, 2, 1}); },
     {0x04, 6, 1, 8, 1, 4, 3, 2, 1}},
    {"settings short of room", 8,
     [](auto* b, auto c) { return wire::BuildSettings(b, c, SerialSettings{6, 1, 8, 1, 4, 3, 2, 1}); },
     {}},
    {"keep-alive", 2, [](auto* b, auto c) { return wire::BuildKeepAlive(b, c); }, {0x07, 0x00}},
    {"keep-alive short of room", 1, [](auto* b, auto c) { return wire::BuildKeepAlive(b, c); }, {}},
    {"change password", 64,
     [](auto* b, auto c) {
         return wire::BuildChangePassword(b, c, kPassword.data(), kZeroLowByte.data());
     },
     {0x09, 0x03, 0x34, 0x81, 0xFF, 0x03, 0x41, 0x00, 0x42}},
    {"change password short of room", 8,
     [](auto* b, auto c) {
         return wire::BuildChangePassword(b, c, kPassword.data(), kZeroLowByte.data());
     },
     {}},
    {"counted string keeps U+00FC as 0xFC", 64,
     [](auto* b, auto c) { return wire::WriteCountedString(b, c, u"M\u00FCller"); },
     {0x06, 'M', 0xFC, 'l', 'l', 'e', 'r'}},
    {"counted string drops the high byte", 64,
     [](auto* b, auto c) { return wire::WriteCountedString(b, c, u"\u0141\u20ACx"); },
     {0x03, 0x41, 0xAC, 'x'}},
    {"counted string cut to the room left", 3,
     [](auto* b, auto c) { return wire::WriteCountedString(b, c, u"abcdef"); }, {0x02, 'a', 'b'}},
    {"null counted string", 4, [](auto* b, auto c) { return wire::WriteCountedString(b, c, nullptr); },
     {0x00}},
    {"counted string with no room", 0,
     [](auto* b, auto c) { return wire::WriteCountedString(b, c, u"abc"); }, {}},
    {"scrambled string stops after 19 values", 64,
     [](auto* b, auto c) { return wire::WriteScrambledString(b, c, kUnterminated.data()); },
     Concat({{19}, Bytes(19, 0xC1)})},
    {"scrambled string keeps a zero low byte of a non-zero value", 64,
     [](auto* b, auto c) { return wire::WriteScrambledString(b, c, kZeroLowByte.data()); },
     {0x03, 0x41, 0x00, 0x42}},
};

TEST(WireBuilders, WriteExactBytesOrRefuse) {
    for (const BuildCase& c : kBuildCases) {
        SCOPED_TRACE(c.name);
        Bytes buf(c.capacity + 16, 0xEE);  // guard bytes show any overrun
        const std::size_t n = c.build(buf.data(), c.capacity);
        EXPECT_EQ(Bytes(buf.begin(), buf.begin() + n), c.expected);
        for (std::size_t i = c.capacity; i < buf.size(); ++i) ASSERT_EQ(0xEE, buf[i]) << "at " << i;
    }
}

TEST(WireBuilders, CountedStringStopsAt255) {
    Bytes buf(400);
    ASSERT_EQ(256u, wire::WriteCountedString(buf.data(), buf.size(), kLongText.c_str()));
    EXPECT_EQ(255, buf[0]);
}

TEST(WireBuilders, DataTakesAtMostWhatTheLengthFieldCanSay) {
    const Bytes data(70000, 0x5A);
    Bytes buf(70010);
    const std::size_t n = wire::BuildData(buf.data(), buf.size(), data.data(), data.size());
    ASSERT_EQ(wire::kDataHeaderSize + 0xFFFF, n);
    EXPECT_EQ(0xFF, buf[1]);
    EXPECT_EQ(0xFF, buf[2]);
}

struct ParseCase {
    const char* name;
    Bytes bytes;
    ParseStatus status;
    std::size_t length;
};

const ParseCase kParseCases[] = {
    {"data type alone", {0x00}, ParseStatus::Incomplete, 0},
    {"data length cut", {0x00, 0x00}, ParseStatus::Incomplete, 0},
    {"data short of its bytes", {0x00, 0x00, 0x02, 'a'}, ParseStatus::Incomplete, 0},
    {"data", {0x00, 0x00, 0x02, 'a', 'b', 0x07}, ParseStatus::Complete, 5},
    {"empty data", {0x00, 0x00, 0x00, 0x07}, ParseStatus::Complete, 3},
    {"disconnect without count", {0x02, 0x01}, ParseStatus::Incomplete, 0},
    {"disconnect text cut", {0x02, 0x01, 0x04, 'b', 'u', 's'}, ParseStatus::Incomplete, 0},
    {"disconnect", {0x02, 0x01, 0x04, 'b', 'u', 's', 'y'}, ParseStatus::Complete, 7},
    {"disconnect without text", {0x02, 0x00, 0x00}, ParseStatus::Complete, 3},
    {"hostile count waits, reads nothing beyond",
     {0x02, 0x01, 0xFF, 'a', 'b', 'c', 'd'}, ParseStatus::Incomplete, 0},
    {"accepted without count", {0x03, 0x02, 0x00}, ParseStatus::Incomplete, 0},
    {"accepted 0x0200 ends after its text",
     {0x03, 0x02, 0x00, 0x02, 'o', 'k', 0x00, 0x00, 0x01, 'z'}, ParseStatus::Complete, 6},
    {"accepted 0x0300 with flag", {0x03, 0x03, 0x00, 0x02, 'o', 'k', 0x01}, ParseStatus::Complete, 7},
    {"accepted 0x0300 waits for its flag", {0x03, 0x03, 0x00, 0x02, 'o', 'k'},
     ParseStatus::Incomplete, 0},
    {"accepted text cut", {0x03, 0x02, 0x00, 0x05, 'o', 'k'}, ParseStatus::Incomplete, 0},
    {"settings cut", {0x04, 1, 2, 3, 4, 5, 6, 7}, ParseStatus::Incomplete, 0},
    {"settings", {0x04, 1, 2, 3, 4, 5, 6, 7, 8}, ParseStatus::Complete, 9},
    {"modem status cut", {0x05, 0x04, 0, 0}, ParseStatus::Incomplete, 0},
    {"modem status", {0x05, 0x04, 0, 0, 0}, ParseStatus::Complete, 5},
    {"credentials required cut", {0x06}, ParseStatus::Incomplete, 0},
    {"credentials required", {0x06, 0x00}, ParseStatus::Complete, 2},
    {"keep-alive cut", {0x07}, ParseStatus::Incomplete, 0},
    {"keep-alive", {0x07, 0x00, 0x07}, ParseStatus::Complete, 2},
    {"password changed", {0x0A, 0x07}, ParseStatus::Complete, 1},
    {"password change failed", {0x0B}, ParseStatus::Complete, 1},
    {"login is not a server message", {0x01, 0x00}, ParseStatus::Unknown, 2},
    {"type 8", {0x08, 0x00, 0x00, 0x01, 'x'}, ParseStatus::Unknown, 5},
    {"type 9", {0x09}, ParseStatus::Unknown, 1},
    {"type 12", {0x0C, 0x00}, ParseStatus::Unknown, 2},
    {"type 255", {0xFF}, ParseStatus::Unknown, 1},
    {"nothing", {}, ParseStatus::Incomplete, 0},
};

TEST(WireParser, TellsCompleteIncompleteAndUnknown) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.name);
        wire::ServerMessage message;
        const wire::ParseResult r = wire::ParseServerMessage(c.bytes.data(), c.bytes.size(), message);
        EXPECT_EQ(c.status, r.status);
        EXPECT_EQ(c.length, r.length);
    }
}

TEST(WireParser, DecodesTheFieldsOfEachType) {
    wire::ServerMessage m;
    const Bytes disconnect = {0x02, 0x06, 0x03, 'P', 0xFC, '1'};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(disconnect.data(), disconnect.size(), m).status);
    EXPECT_EQ(wire::kDisconnect, m.type);
    EXPECT_EQ(wire::kReasonUnknownPort, m.reasonCode);
    EXPECT_EQ(std::u16string(u"P\u00FC1"), m.reasonText);

    const Bytes accepted = {0x03, 0x03, 0x01, 0x02, 'h', 'i', 0x01};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(accepted.data(), accepted.size(), m).status);
    EXPECT_EQ(0x0301, m.version);
    EXPECT_EQ(std::u16string(u"hi"), m.acceptedText);
    EXPECT_EQ(1, m.expired);
    EXPECT_EQ(wire::kReasonUnknownPort, m.reasonCode) << "another type's fields are kept";

    const Bytes old = {0x03, 0x02, 0xFF, 0x00, 0x01};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(old.data(), old.size(), m).status);
    EXPECT_EQ(0x02FF, m.version);
    EXPECT_EQ(0, m.expired) << "before 0x0300 there is no flag";
    EXPECT_EQ(std::u16string(), m.acceptedText);

    const Bytes modem = {0x05, 0x04, 0x11, 0x22, 0x33};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(modem.data(), modem.size(), m).status);
    EXPECT_EQ(Bytes({0x04, 0x11, 0x22, 0x33}), Bytes(m.modemStatus, m.modemStatus + 4));

    const Bytes settings = {0x04, 1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(settings.data(), settings.size(), m).status);
    EXPECT_EQ(0, std::memcmp(settings.data() + 1, &m.settings, 8));

    const Bytes data = {0x00, 0x00, 0x02, 'a', 'b'};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(data.data(), data.size(), m).status);
    EXPECT_EQ(data.data() + 3, m.data);
    EXPECT_EQ(2u, m.dataLength);

    const Bytes keepAlive = {0x07, 0x00};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(keepAlive.data(), keepAlive.size(), m).status);
    EXPECT_EQ(wire::kKeepAlive, m.type);
    EXPECT_EQ(nullptr, m.data) << "no stale pointer into the buffer";
    EXPECT_EQ(0u, m.dataLength);
}

TEST(WireParser, LeavesTheMessageAloneWhenNothingIsParsed) {
    wire::ServerMessage m;
    const Bytes disconnect = {0x02, 0x01, 0x00};
    ASSERT_EQ(ParseStatus::Complete, wire::ParseServerMessage(disconnect.data(), disconnect.size(), m).status);
    const Bytes incomplete = {0x02, 0x02, 0x05, 'x'};
    const Bytes unknown = {0x08, 0x02};
    wire::ParseServerMessage(incomplete.data(), incomplete.size(), m);
    wire::ParseServerMessage(unknown.data(), unknown.size(), m);
    EXPECT_EQ(wire::kDisconnect, m.type);
    EXPECT_EQ(wire::kReasonPortInUse, m.reasonCode);
}

TEST(WireParser, LongestCountedTextIsWidenedWhole) {
    Bytes bytes = {0x02, 0x04, 0xFF};
    bytes.insert(bytes.end(), 255, 0xE9);
    wire::ServerMessage m;
    const wire::ParseResult r = wire::ParseServerMessage(bytes.data(), bytes.size(), m);
    ASSERT_EQ(ParseStatus::Complete, r.status);
    EXPECT_EQ(258u, r.length);
    EXPECT_EQ(std::u16string(255, u'\u00E9'), m.reasonText);
}

}  // namespace
