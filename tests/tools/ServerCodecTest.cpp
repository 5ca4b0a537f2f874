#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "ServerCodec.h"
#include "TestPeerCodec.h"

namespace {

using rasim::Bytes;
using rasim::ClientMessage;
using rasim::ClientMessageReader;
using rasim::ParseStatus;
using peer::operator+;

// A compact picture of a parsed client message, so cases compare one string.
std::string Describe(const ClientMessage& m) {
    std::string out = "type=" + std::to_string(m.type);
    auto bytes = [](const Bytes& b) {
        std::string s;
        for (auto c : b) s += std::to_string(c) + ",";
        return s;
    };
    switch (m.type) {
    case 0: out += " data=" + bytes(m.data); break;
    case 1: out += " user=" + m.user + " password=" + bytes(m.password) + " port=" + m.port; break;
    case 4: out += " settings=" + bytes(Bytes(m.settings.begin(), m.settings.end())); break;
    case 7: out += " keepalive=" + std::to_string(m.keepAlive); break;
    case 9: out += " old=" + bytes(m.password) + " new=" + bytes(m.newPassword); break;
    }
    return out;
}

struct ClientCase {
    const char* name;
    Bytes wire;
    std::string expected;
};

const std::vector<ClientCase>& ClientCases() {
    static const std::vector<ClientCase> cases = {
        {"empty data", peer::Data(""), "type=0 data="},
        {"data", peer::Data("AT\r"), "type=0 data=65,84,13,"},
        {"silent login", peer::Login("alice", {}, "P1"), "type=1 user=alice password= port=P1"},
        {"login with password", peer::Login("bob", {0x81, 0x02, 0xF3}, "Port 2"),
         "type=1 user=bob password=129,2,243, port=Port 2"},
        {"login with empty names", peer::Login("", {}, ""), "type=1 user= password= port="},
        {"settings", peer::Settings({6, 1, 8, 1, 4, 3, 2, 1}),
         "type=4 settings=6,1,8,1,4,3,2,1,"},
        {"keep-alive", peer::KeepAlive(), "type=7 keepalive=0"},
        {"change password", peer::ChangePassword({1, 2}, {3, 4, 5}), "type=9 old=1,2, new=3,4,5,"},
    };
    return cases;
}

std::vector<std::string> ReadAll(ClientMessageReader& reader) {
    std::vector<std::string> out;
    ClientMessage m;
    while (reader.Next(m) == ParseStatus::kComplete) out.push_back(Describe(m));
    return out;
}

TEST(ServerCodec, ParsesEachClientMessageWholeAndReportsItsLength) {
    for (const auto& c : ClientCases()) {
        ClientMessage m;
        const auto result = rasim::ParseClientMessage(c.wire.data(), c.wire.size(), m);
        EXPECT_EQ(ParseStatus::kComplete, result.status) << c.name;
        EXPECT_EQ(c.wire.size(), result.length) << c.name;
        EXPECT_EQ(c.expected, Describe(m)) << c.name;
    }
}

TEST(ServerCodec, EveryShorterPrefixIsIncompleteWithoutReadingPastIt) {
    for (const auto& c : ClientCases()) {
        for (std::size_t n = 0; n < c.wire.size(); ++n) {
            // An exact-size copy, so a read past the prefix leaves the allocation.
            std::vector<std::uint8_t> prefix(c.wire.begin(), c.wire.begin() + n);
            ClientMessage m;
            EXPECT_EQ(ParseStatus::kIncomplete,
                      rasim::ParseClientMessage(prefix.data(), prefix.size(), m).status)
                << c.name << " prefix " << n;
        }
    }
}

TEST(ServerCodec, ReaderFramesAStreamWhateverTheSplit) {
    Bytes stream;
    std::vector<std::string> expected;
    for (const auto& c : ClientCases()) {
        stream = stream + c.wire;
        expected.push_back(c.expected);
    }
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{7},
                                    stream.size()}) {
        ClientMessageReader reader;
        std::vector<std::string> got;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            reader.Append(stream.data() + at, std::min(piece, stream.size() - at));
            for (auto& s : ReadAll(reader)) got.push_back(s);
        }
        EXPECT_EQ(expected, got) << "pieces of " << piece;
        EXPECT_EQ(0u, reader.Pending()) << "pieces of " << piece;
    }
}

TEST(ServerCodec, LargestDataMessageArrivesWhole) {
    Bytes payload(0xFFFF);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
    const Bytes wire = peer::Data(payload);
    ClientMessageReader reader;
    reader.Append(wire.data(), wire.size() - 1);
    ClientMessage m;
    EXPECT_EQ(ParseStatus::kIncomplete, reader.Next(m));
    reader.Append(wire.data() + wire.size() - 1, 1);
    ASSERT_EQ(ParseStatus::kComplete, reader.Next(m));
    EXPECT_EQ(payload, m.data);
}

TEST(ServerCodec, CountsLargerThanTheBytesThatFollowStayIncomplete) {
    const struct {
        const char* name;
        Bytes wire;
    } cases[] = {
        {"data length beyond the buffer", {0, 0xFF, 0xFF, 1, 2, 3}},
        {"user name count beyond the buffer", {1, 200, 'a', 'b'}},
        {"password count beyond the buffer", {1, 1, 'a', 255, 1, 2}},
        {"port name count beyond the buffer", {1, 0, 0, 9, 'P'}},
        {"old password count beyond the buffer", {9, 40, 1, 2, 3}},
        {"new password count beyond the buffer", {9, 0, 255}},
        {"settings short of eight bytes", {4, 1, 2, 3, 4, 5, 6, 7}},
        {"keep-alive without its byte", {7}},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> exact(c.wire);
        ClientMessage m;
        EXPECT_EQ(ParseStatus::kIncomplete, rasim::ParseClientMessage(exact.data(), exact.size(), m).status)
            << c.name;
    }
}

TEST(ServerCodec, UnknownTypeBreaksTheStreamForGood) {
    for (const std::uint8_t type : {2, 3, 5, 6, 8, 10, 11, 12, 255}) {
        ClientMessageReader reader;
        const Bytes wire = peer::KeepAlive() + Bytes{type, 0, 0} + peer::KeepAlive();
        reader.Append(wire.data(), wire.size());
        ClientMessage m;
        EXPECT_EQ(ParseStatus::kComplete, reader.Next(m)) << int(type);
        EXPECT_EQ(ParseStatus::kUnknown, reader.Next(m)) << int(type);
        // Later bytes cannot be framed either: the reader stays broken.
        reader.Append(wire.data(), wire.size());
        EXPECT_EQ(ParseStatus::kUnknown, reader.Next(m)) << int(type);
        EXPECT_EQ(0u, reader.Pending()) << int(type);
    }
}

struct ServerCase {
    const char* name;
    Bytes built;
    Bytes expected;
};

Bytes Built(void (*build)(Bytes&)) {
    Bytes out;
    build(out);
    return out;
}

TEST(ServerCodec, BuildsServerMessagesByteForByte) {
    auto built = [](auto fn) {
        Bytes out;
        fn(out);
        return out;
    };
    const std::string longText(300, 'x');
    Bytes longTextWire{2, 4, 255};
    longTextWire.insert(longTextWire.end(), 255, 'x');
    const ServerCase cases[] = {
        {"data", built([](Bytes& o) { const std::uint8_t d[] = {9, 8}; rasim::AppendData(o, d, 2); }),
         {0, 0, 2, 9, 8}},
        {"empty data", built([](Bytes& o) { rasim::AppendData(o, nullptr, 0); }), {0, 0, 0}},
        {"disconnect", built([](Bytes& o) { rasim::AppendDisconnect(o, 1, "busy"); }),
         {2, 1, 4, 'b', 'u', 's', 'y'}},
        {"disconnect text cut to 255", built([&](Bytes& o) { rasim::AppendDisconnect(o, 4, longText); }),
         longTextWire},
        {"accepted 0x0300 carries the flag",
         built([](Bytes& o) { rasim::AppendLoginAccepted(o, 0x0300, "hi", true); }),
         {3, 3, 0, 2, 'h', 'i', 1}},
        {"accepted 0x0200 has no flag",
         built([](Bytes& o) { rasim::AppendLoginAccepted(o, 0x0200, "hi", true); }),
         {3, 2, 0, 2, 'h', 'i'}},
        {"settings", built([](Bytes& o) { rasim::AppendSettings(o, {1, 2, 3, 4, 5, 6, 7, 8}); }),
         {4, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"modem status", built([](Bytes& o) { rasim::AppendModemStatus(o, 0x0D); }), {5, 0x0D, 0, 0, 0}},
        {"credentials required", Built(rasim::AppendCredentialsRequired), {6, 0}},
        {"keep-alive", Built(rasim::AppendKeepAlive), {7, 0}},
        {"password changed", Built(rasim::AppendPasswordChanged), {10}},
        {"password change failed", Built(rasim::AppendPasswordChangeFailed), {11}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, c.built) << c.name;
        // And the service's side reads each back as exactly one message.
        peer::ServerMessage m;
        std::size_t length = 0;
        EXPECT_EQ(peer::Parse::kComplete,
                  peer::ParseServerMessage(c.built.data(), c.built.size(), m, length))
            << c.name;
        EXPECT_EQ(c.built.size(), length) << c.name;
    }
}

TEST(ServerCodec, DataLongerThanOneMessageIsSplitInOrder) {
    Bytes payload(0xFFFF + 10);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i % 251);
    Bytes wire;
    rasim::AppendData(wire, payload.data(), payload.size());
    Bytes joined;
    std::vector<std::size_t> sizes;
    for (std::size_t at = 0; at < wire.size();) {
        peer::ServerMessage m;
        std::size_t length = 0;
        ASSERT_EQ(peer::Parse::kComplete, peer::ParseServerMessage(wire.data() + at, wire.size() - at, m, length));
        sizes.push_back(m.data.size());
        joined = joined + m.data;
        at += length;
    }
    EXPECT_EQ((std::vector<std::size_t>{0xFFFF, 10}), sizes);
    EXPECT_EQ(payload, joined);
}

}  // namespace
