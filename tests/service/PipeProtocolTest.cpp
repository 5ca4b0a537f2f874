#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "PipeProtocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace portpipe;

Bytes Record(const SerialSettings& s) {
    Bytes b(sizeof s);
    std::memcpy(b.data(), &s, sizeof s);
    return b;
}

struct ByteCase {
    std::uint32_t value;
    Bytes expected;  // the whole 8-byte record
};

const ByteCase kLineControlCases[] = {
    {0x03, {0, 1, 8, 1, 0, 0, 2, 0}},  // 8N1, no break
    {0x1B, {0, 1, 8, 3, 0, 0, 2, 0}},  // even parity
    {0x40, {0, 1, 5, 1, 0, 0, 1, 0}},  // break on
    {0x00, {0, 1, 5, 1, 0, 0, 2, 0}},
    {0x01, {0, 1, 6, 1, 0, 0, 2, 0}},
    {0x02, {0, 1, 7, 1, 0, 0, 2, 0}},
    {0x04, {0, 2, 5, 1, 0, 0, 2, 0}},  // two stop bits
    {0x0B, {0, 1, 8, 2, 0, 0, 2, 0}},  // odd
    {0x2B, {0, 1, 8, 4, 0, 0, 2, 0}},  // mark
    {0x3B, {0, 1, 8, 5, 0, 0, 2, 0}},  // space
    {0x13, {0, 1, 8, 0, 0, 0, 2, 0}},  // parity bits without enable: no change
    {0x23, {0, 1, 8, 0, 0, 0, 2, 0}},
    {0x33, {0, 1, 8, 0, 0, 0, 2, 0}},
    {0x83, {0, 1, 8, 1, 0, 0, 2, 0}},  // bit 7 ignored
    {0xFF, {0, 2, 8, 5, 0, 0, 1, 0}},
};

TEST(PipeSettings, LineControlFillsStopDataParityAndBreak) {
    for (const ByteCase& c : kLineControlCases) {
        SCOPED_TRACE(testing::Message() << "line control 0x" << std::hex << c.value);
        EXPECT_EQ(c.expected, Record(SettingsFromLineControl(static_cast<std::uint8_t>(c.value))));
    }
}

const ByteCase kBaudCases[] = {
    {300, {1, 0, 0, 0, 0, 0, 0, 0}},    {600, {2, 0, 0, 0, 0, 0, 0, 0}},
    {1200, {3, 0, 0, 0, 0, 0, 0, 0}},   {2400, {4, 0, 0, 0, 0, 0, 0, 0}},
    {4800, {5, 0, 0, 0, 0, 0, 0, 0}},   {9600, {6, 0, 0, 0, 0, 0, 0, 0}},
    {19200, {7, 0, 0, 0, 0, 0, 0, 0}},  {38400, {8, 0, 0, 0, 0, 0, 0, 0}},
    {56000, {9, 0, 0, 0, 0, 0, 0, 0}},  {57600, {9, 0, 0, 0, 0, 0, 0, 0}},
    {115200, {10, 0, 0, 0, 0, 0, 0, 0}}, {14400, {0, 0, 0, 0, 0, 0, 0, 0}},
    {0, {0, 0, 0, 0, 0, 0, 0, 0}},      {0xFFFFFFFF, {0, 0, 0, 0, 0, 0, 0, 0}},
};

TEST(PipeSettings, BaudRateCodesAndUnlistedRatesGiveAnAllZeroRecord) {
    for (const ByteCase& c : kBaudCases) {
        SCOPED_TRACE(testing::Message() << "baud " << c.value);
        EXPECT_EQ(c.expected, Record(SettingsFromBaudRate(c.value)));
    }
}

const ByteCase kModemControlCases[] = {
    {0x01, {0, 0, 0, 0, 0, 0, 0, 1}},
    {0x03, {0, 0, 0, 0, 0, 0, 0, 1}},
    {0x00, {0, 0, 0, 0, 0, 0, 0, 2}},
    {0xFE, {0, 0, 0, 0, 0, 0, 0, 2}},
};

TEST(PipeSettings, ModemControlSetsOnlyDtr) {
    for (const ByteCase& c : kModemControlCases) {
        SCOPED_TRACE(testing::Message() << "modem control 0x" << std::hex << c.value);
        EXPECT_EQ(c.expected, Record(SettingsFromModemControl(static_cast<std::uint8_t>(c.value))));
    }
}

struct HandFlowCase {
    std::uint32_t handshake;
    std::uint32_t replace;
    std::uint32_t forced;
    std::uint8_t first;
    std::uint8_t second;
};

const HandFlowCase kHandFlowCases[] = {
    {0x00, 0x00, reg::kNotForced, 1, 1},
    {0x08, 0x00, reg::kNotForced, 3, 1},  // CTS handshake only
    {0x00, 0x02, reg::kNotForced, 2, 1},  // automatic receive only
    {0x08, 0x02, reg::kNotForced, 4, 1},
    {0x00, 0x80, reg::kNotForced, 1, 3},  // RTS handshake only
    {0x00, 0x01, reg::kNotForced, 1, 2},  // automatic transmit only
    {0x00, 0x81, reg::kNotForced, 1, 4},
    {0x08, 0x83, reg::kNotForced, 4, 4},
    {0xFFFFFFF7, 0xFFFFFF7E, reg::kNotForced, 2, 1},  // other bits play no part
    {0x08, 0x83, 0x00030001, 3, 1},
    {0x00, 0x00, 0x00030001, 3, 1},
    {0x08, 0x83, 0x00000000, 0, 0},  // forced to "no change"
    {0x00, 0x00, 0xFF04FF02, 4, 2},  // only bits 16-23 and 0-7 count
};

TEST(PipeSettings, HandFlowGivesBothFlowBytesUnlessForced) {
    for (const HandFlowCase& c : kHandFlowCases) {
        SCOPED_TRACE(testing::Message() << std::hex << "handshake 0x" << c.handshake << " replace 0x"
                                        << c.replace << " forced 0x" << c.forced);
        EXPECT_EQ(Bytes({0, 0, 0, 0, c.first, c.second, 0, 0}),
                  Record(SettingsFromHandFlow(c.handshake, c.replace, c.forced)));
    }
}

TEST(PipeSettings, CarrierBitChoosesTheDriversModemStatus) {
    EXPECT_EQ(0xB0, PipeModemStatusFor(0x04));
    EXPECT_EQ(0xB0, PipeModemStatusFor(0xFF));
    EXPECT_EQ(0x30, PipeModemStatusFor(0xFB));
    EXPECT_EQ(0x30, PipeModemStatusFor(0x00));
}

TEST(PipeBuilders, StatusMessagesAreEightLittleEndianBytes) {
    std::uint8_t buf[16];
    ASSERT_EQ(8u, BuildPipeOpenResult(buf, sizeof buf, kOpenConnected));
    EXPECT_EQ(Bytes({2, 0, 0, 0, 0, 0, 0, 0}), Bytes(buf, buf + 8));
    ASSERT_EQ(8u, BuildPipeOpenResult(buf, sizeof buf, kOpenNotRedirected));
    EXPECT_EQ(Bytes({2, 0, 0, 0, 1, 0, 0, 0}), Bytes(buf, buf + 8));
    ASSERT_EQ(8u, BuildPipeModemStatus(buf, sizeof buf, kModemStatusCarrier));
    EXPECT_EQ(Bytes({3, 0, 0, 0, 0xB0, 0, 0, 0}), Bytes(buf, buf + 8));
    ASSERT_EQ(8u, BuildPipeLineStatus(buf, sizeof buf, kLineStatusIdle));
    EXPECT_EQ(Bytes({5, 0, 0, 0, 0x60, 0, 0, 0}), Bytes(buf, buf + 8));
    EXPECT_EQ(0u, BuildPipeOpenResult(buf, 7, kOpenConnected));
    EXPECT_EQ(0u, BuildPipeModemStatus(nullptr, 8, kModemStatusIdle));
}

TEST(PipeBuilders, DataCarriesOneToAThousandTwentyBytes) {
    std::vector<std::uint8_t> buf(kPipeMessageSize + 8);
    const Bytes hi = {'h', 'i'};
    ASSERT_EQ(6u, BuildPipeData(buf.data(), buf.size(), hi.data(), hi.size()));
    EXPECT_EQ(Bytes({7, 0, 0, 0, 'h', 'i'}), Bytes(buf.begin(), buf.begin() + 6));

    const Bytes full(kPipePayloadMax, 0x42);
    EXPECT_EQ(kPipeMessageSize, BuildPipeData(buf.data(), buf.size(), full.data(), full.size()));
    const Bytes tooMuch(kPipePayloadMax + 1, 0x42);
    EXPECT_EQ(0u, BuildPipeData(buf.data(), buf.size(), tooMuch.data(), tooMuch.size()));
    EXPECT_EQ(0u, BuildPipeData(buf.data(), buf.size(), hi.data(), 0));
    EXPECT_EQ(0u, BuildPipeData(buf.data(), 5, hi.data(), hi.size()));
}

TEST(PipePieces, ServerDataIsForwardedInPiecesOfAtMost1020) {
    const struct {
        std::size_t total;
        std::vector<std::size_t> pieces;
    } cases[] = {
        {2045, {1020, 1020, 5}}, {1020, {1020}}, {1021, {1020, 1}}, {1, {1}}, {0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.total);
        Bytes data(c.total);
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
        std::vector<std::size_t> sizes;
        Bytes joined;
        EXPECT_TRUE(ForEachPipePiece(data.data(), data.size(), [&](const std::uint8_t* p, std::size_t n) {
            sizes.push_back(n);
            joined.insert(joined.end(), p, p + n);
            return true;
        }));
        EXPECT_EQ(c.pieces, sizes);
        EXPECT_EQ(data, joined);
    }
}

TEST(PipePieces, AFailedSendStopsTheRest) {
    const Bytes data(2045, 1);
    int calls = 0;
    EXPECT_FALSE(ForEachPipePiece(data.data(), data.size(), [&](const std::uint8_t*, std::size_t) {
        ++calls;
        return false;
    }));
    EXPECT_EQ(1, calls);
}

Bytes Message(std::uint32_t type, const Bytes& payload) {
    Bytes m(4 + payload.size());
    for (int i = 0; i < 4; ++i) m[i] = static_cast<std::uint8_t>(type >> (8 * i));
    std::copy(payload.begin(), payload.end(), m.begin() + 4);
    return m;
}

Bytes Utf16(const std::u16string& s, bool terminated) {
    Bytes b;
    for (char16_t c : s) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminated) b.insert(b.end(), {0, 0, 'X', 0});  // junk after the NUL
    return b;
}

TEST(PipeReader, SplitsTypeAndPayloadOfOneRead) {
    PipeMessage m;
    const Bytes read = Message(0x0000010A, {1, 2, 3});
    ASSERT_TRUE(ReadPipeMessage(read.data(), read.size(), m));
    EXPECT_EQ(0x10Au, m.type);
    EXPECT_EQ(read.data() + 4, m.payload);
    EXPECT_EQ(3u, m.payloadSize);

    const Bytes bare = Message(PipeData, {});
    ASSERT_TRUE(ReadPipeMessage(bare.data(), bare.size(), m));
    EXPECT_EQ(0u, m.payloadSize);
    EXPECT_FALSE(ReadPipeMessage(bare.data(), 3, m));
    const Bytes oversized(kPipeMessageSize + 1, 0);
    EXPECT_FALSE(ReadPipeMessage(oversized.data(), oversized.size(), m));
}

TEST(PipeReader, PortKeyNameIsBoundedByThePayload) {
    const struct {
        const char* name;
        Bytes read;
        std::size_t outChars;
        bool ok;
        std::u16string expected;
    } cases[] = {
        {"terminated", Message(PipeOpen, Utf16(u"Dialout0", true)), 64, true, u"Dialout0"},
        {"unterminated", Message(PipeOpen, Utf16(u"Dialout1", false)), 64, true, u"Dialout1"},
        {"odd last byte ignored", Message(PipeOpen, Bytes({'D', 0, '2', 0, 'x'})), 64, true, u"D2"},
        {"fits with its NUL", Message(PipeOpen, Utf16(u"Dialout3", false)), 9, true, u"Dialout3"},
        {"one too long", Message(PipeOpen, Utf16(u"Dialout3", false)), 8, false, u""},
        {"empty", Message(PipeOpen, Utf16(u"", true)), 64, false, u""},
        {"no payload", Message(PipeOpen, {}), 64, false, u""},
        {"subkey path", Message(PipeOpen, Utf16(u"Dialout0\\Redirections", true)), 64, false, u""},
        {"another type", Message(PipeData, Utf16(u"Dialout0", true)), 64, false, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PipeMessage m;
        ASSERT_TRUE(ReadPipeMessage(c.read.data(), c.read.size(), m));
        std::vector<char16_t> out(c.outChars, u'#');
        EXPECT_EQ(c.ok, ReadPortKeyName(m, out.data(), out.size()));
        EXPECT_EQ(c.expected, std::u16string(out.data()));
    }
}

TEST(PipeReader, SettingsMessagesNeedTheirWholePayload) {
    const Bytes handFlow = {0x08, 0, 0, 0, 0x83, 0, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0};
    const struct {
        const char* name;
        Bytes read;
        std::uint32_t forced;
        bool ok;
        Bytes expected;
    } cases[] = {
        {"modem control", Message(PipeModemControl, {0x01}), reg::kNotForced, true, {0, 0, 0, 0, 0, 0, 0, 1}},
        {"line control", Message(PipeLineControl, {0x1B}), reg::kNotForced, true, {0, 1, 8, 3, 0, 0, 2, 0}},
        {"baud rate", Message(PipeBaudRate, {0x00, 0xC2, 0x01, 0x00}), reg::kNotForced, true,
         {10, 0, 0, 0, 0, 0, 0, 0}},
        {"hand flow", Message(PipeHandFlow, handFlow), reg::kNotForced, true, {0, 0, 0, 0, 4, 4, 0, 0}},
        {"hand flow forced", Message(PipeHandFlow, handFlow), 0x00030001, true, {0, 0, 0, 0, 3, 1, 0, 0}},
        {"short hand flow", Message(PipeHandFlow, Bytes(handFlow.begin(), handFlow.end() - 1)),
         reg::kNotForced, false, {}},
        {"short baud rate", Message(PipeBaudRate, {0x80, 0x25, 0x00}), reg::kNotForced, false, {}},
        {"empty line control", Message(PipeLineControl, {}), reg::kNotForced, false, {}},
        {"empty modem control", Message(PipeModemControl, {}), reg::kNotForced, false, {}},
        {"data", Message(PipeData, {1, 2, 3, 4}), reg::kNotForced, false, {}},
        {"type 9", Message(9, Bytes(16, 0)), reg::kNotForced, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PipeMessage m;
        ASSERT_TRUE(ReadPipeMessage(c.read.data(), c.read.size(), m));
        const std::optional<SerialSettings> s = SettingsFromPipeMessage(m, c.forced);
        ASSERT_EQ(c.ok, s.has_value());
        if (s) {
            EXPECT_EQ(c.expected, Record(*s));
        }
    }
}

TEST(PipeReader, HandFlowReadsAllFourValues) {
    const Bytes read = Message(PipeHandFlow, {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 3, 2, 1});
    PipeMessage m;
    ASSERT_TRUE(ReadPipeMessage(read.data(), read.size(), m));
    HandFlow h{};
    ASSERT_TRUE(ReadHandFlow(m, h));
    EXPECT_EQ(1u, h.controlHandshake);
    EXPECT_EQ(2u, h.flowReplace);
    EXPECT_EQ(3u, h.xonLimit);
    EXPECT_EQ(0x01020304u, h.xoffLimit);
}

}  // namespace
