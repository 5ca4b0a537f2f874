#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Session.h"
#include "TestPeerCodec.h"

namespace {

using peer::Bytes;
using peer::operator+;

// A session with its device, policy and collected event lines.
class RasimSession : public ::testing::Test {
protected:
    RasimSession() {
        device.name = "DEV";
        device.ports = {"P1"};
        device.users = {{"alice", "secret"}};
    }

    rasim::Session& Make() {
        policy = std::make_unique<rasim::AccessPolicy>(device);
        session = std::make_unique<rasim::Session>(7, device, *policy, 1000,
                                                   [this](const std::string& line) { lines.push_back(line); });
        return *session;
    }

    void Feed(const Bytes& bytes) { session->OnBytes(bytes.data(), bytes.size(), 0); }

    // Parses and removes everything the session has queued.
    std::vector<peer::ServerMessage> Drain() {
        std::vector<peer::ServerMessage> out;
        Bytes& queued = session->Outgoing();
        std::size_t at = 0;
        for (;;) {
            peer::ServerMessage m;
            std::size_t length = 0;
            if (peer::ParseServerMessage(queued.data() + at, queued.size() - at, m, length) !=
                peer::Parse::kComplete)
                break;
            out.push_back(m);
            at += length;
        }
        EXPECT_EQ(queued.size(), at) << "queued bytes end inside a message";
        queued.clear();
        return out;
    }

    rasim::DeviceConfig device;
    std::unique_ptr<rasim::AccessPolicy> policy;
    std::unique_ptr<rasim::Session> session;
    std::vector<std::string> lines;
};

TEST_F(RasimSession, WritesOneEventLinePerHappening) {
    Make();
    Feed(peer::Login("alice", peer::Scrambled(u"secret", 0x0102), "p1") +
         peer::Settings({6, 1, 8, 1, 1, 1, 2, 1}) + peer::KeepAlive() + peer::Data("ATD9\r") +
         peer::ChangePassword(peer::Scrambled(u"secret", 0x0304), peer::Scrambled(u"a b", 0x0506)));
    const std::vector<std::string> expected = {
        "LOGIN 7 user=alice port=p1 password=secret result=accepted version=0x0300 expired=0",
        "SETTINGS 7 06 01 08 01 01 01 02 01",
        "KEEPALIVE 7",
        "STATUS 7 0x0D carrier=1",
        "MODEM 7 command=ATD9 result=CONNECT\\x2028800",
        "PASSWORD-CHANGE 7 user=alice old=secret new=a\\x20b result=changed",
    };
    EXPECT_EQ(expected, lines);
}

TEST_F(RasimSession, DataBeforeTheLoginIsDropped) {
    Make();
    Feed(peer::Data("AT\r") + peer::Login("alice", {}, "P1") + peer::Data("AT\r"));
    const auto messages = Drain();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(3, messages[0].type);
    EXPECT_EQ("\r\nOK\r\n", std::string(messages[1].data.begin(), messages[1].data.end()));
    EXPECT_EQ("DATA-IGNORED 7 bytes=3 not-logged-in", lines.at(0));
}

TEST_F(RasimSession, ChangeBeforeLoginFails) {
    Make();
    Feed(peer::ChangePassword(peer::Scrambled(u"secret", 0x0304), peer::Scrambled(u"new", 0x0506)));
    const auto messages = Drain();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(11, messages[0].type);
}

TEST_F(RasimSession, AFloodOfBurstsWaitsForTheQueueToEmpty) {
    Make();
    Feed(peer::Login("alice", {}, "P1"));
    Drain();
    std::string commands;
    const int kBursts = 40;  // 40 x 64 KB: far more than the output limit
    for (int i = 0; i < kBursts; ++i) commands += "AT*B65535\r";
    Feed(peer::Data(commands));
    EXPECT_LE(session->Outgoing().size(), rasim::Session::kOutputLimit + 70000);
    int bursts = 0, oks = 0;
    for (int round = 0; round < 2 * kBursts && oks < kBursts; ++round) {
        for (const auto& m : Drain()) {
            ASSERT_EQ(0, m.type);
            if (m.data.size() == 65535) ++bursts;
            else if (std::string(m.data.begin(), m.data.end()) == "\r\nOK\r\n") ++oks;
        }
        session->Pump(0);
    }
    EXPECT_EQ(kBursts, bursts);
    EXPECT_EQ(kBursts, oks);
}

TEST_F(RasimSession, CloseAfterLoginAnswersFirst) {
    device.behaviour.closeAfterLogin = true;
    Make();
    Feed(peer::Login("alice", {}, "P1") + peer::Data("AT\r"));
    EXPECT_EQ(rasim::Session::CloseRequest::kAfterFlush, session->Close());
    const auto messages = Drain();
    ASSERT_EQ(1u, messages.size());
    EXPECT_EQ(3, messages[0].type);
}

}  // namespace
