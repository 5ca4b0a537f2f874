#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HayesModem.h"

namespace {

// Records what the modem sends towards the service, in order, as text.
class RecordingSink : public rasim::ModemSink {
public:
    std::string toHost;
    std::vector<int> statuses;
    std::vector<std::string> hooks;
    void ToHost(const std::uint8_t* data, std::size_t count) override {
        toHost.append(reinterpret_cast<const char*>(data), count);
    }
    void StatusChanged(std::uint8_t status) override { statuses.push_back(status); }
    void Event(std::string_view) override {}
    void DropConnection() override { hooks.push_back("drop"); }
    void ServerDisconnect(std::uint8_t reason) override {
        hooks.push_back("disconnect " + std::to_string(reason));
    }
    void SendKeepAlive() override { hooks.push_back("keepalive"); }
    std::string Take() { return std::exchange(toHost, {}); }
};

class HayesModemTest : public ::testing::Test {
protected:
    static constexpr std::uint32_t kGuard = 1000;
    RecordingSink sink;
    rasim::HayesModem modem{sink, kGuard};
    std::uint64_t now = 10000;

    // Feeds the text as one message, the way the session does: again and
    // again until the modem has taken all of it.
    void Send(const std::string& text, std::uint64_t advanceMs = 0) {
        now += advanceMs;
        const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
        for (std::size_t taken = 0; taken < text.size();) {
            const std::size_t n = modem.FromHost(data + taken, text.size() - taken, now);
            ASSERT_GT(n, 0u);
            taken += n;
        }
    }
    void Wait(std::uint64_t ms) {
        now += ms;
        modem.Tick(now);
    }
    void Dial() {
        Send("ATD5551234\r");
        ASSERT_EQ("\r\nCONNECT 28800\r\n", sink.Take());
    }
};

TEST_F(HayesModemTest, AnswersCommandLines) {
    const struct {
        const char* line;
        const char* reply;
    } cases[] = {
        {"AT\r", "\r\nOK\r\n"},
        {"at\r", "\r\nOK\r\n"},
        {"ATZ\r", "\r\nOK\r\n"},
        {"ATE0V1Q0X4&C1&D2\r", "\r\nOK\r\n"},
        {"ATH\r", "\r\nOK\r\n"},
        {"ATH0\r", "\r\nOK\r\n"},
        {"ATS7=60\r", "\r\nOK\r\n"},
        {"ATS300=1\r", "\r\nERROR\r\n"},
        {"ATI\r", "\r\nRASIM\r\n\r\nOK\r\n"},
        {"ATO\r", "\r\nNO CARRIER\r\n"},
        {"ATA\r", "\r\nNO CARRIER\r\n"},
        {"ATD\r", "\r\nERROR\r\n"},
        {"ATJ\r", "\r\nERROR\r\n"},
        {"ATE2\r", "\r\nERROR\r\n"},
        {"HELLO\r", "\r\nERROR\r\n"},
        {"AT*B\r", "\r\nERROR\r\n"},
        {"AT*B65536\r", "\r\nERROR\r\n"},
        {"AT*Q\r", "\r\nERROR\r\n"},
        {"\r", ""},
        {"AT\r\n", "\r\nOK\r\n"},
        {"AX\bT\r", "\r\nOK\r\n"},
    };
    for (const auto& c : cases) {
        Send(c.line);
        EXPECT_EQ(c.reply, sink.Take()) << c.line;
        EXPECT_FALSE(modem.Online()) << c.line;
    }
    EXPECT_TRUE(sink.statuses.empty());
}

TEST_F(HayesModemTest, CommandModeStopsAfterEachLineOnlineModeTakesAll) {
    const std::string text = "AT\rATI\rATD1\rdata+";
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
    std::vector<std::size_t> taken;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t n = modem.FromHost(data + at, text.size() - at, now);
        taken.push_back(n);
        at += n;
    }
    EXPECT_EQ((std::vector<std::size_t>{3, 4, 5, 5}), taken);
}

TEST_F(HayesModemTest, RegistersKeepTheirValues) {
    Send("ATS7=60S7?\r");
    EXPECT_EQ("\r\n060\r\n\r\nOK\r\n", sink.Take());
    Send("ATZ S7?\r");
    EXPECT_EQ("\r\n000\r\n\r\nOK\r\n", sink.Take());
}

TEST_F(HayesModemTest, OverlongLineIsAnError) {
    Send("AT" + std::string(rasim::HayesModem::kMaxLine, 'L') + "\r");
    EXPECT_EQ("\r\nERROR\r\n", sink.Take());
    Send("AT\r");
    EXPECT_EQ("\r\nOK\r\n", sink.Take());
}

TEST_F(HayesModemTest, EchoesCommandCharactersOnlyAfterE1) {
    Send("ATE1\r");
    EXPECT_EQ("\r\nOK\r\n", sink.Take());
    Send("AT\r");
    EXPECT_EQ("AT\r\r\nOK\r\n", sink.Take());
}

TEST_F(HayesModemTest, DialRaisesCarrierBeforeConnectAndEchoesEveryByte) {
    Send("ATD5551234\rfirst");  // bytes after the command line are already data
    EXPECT_EQ("\r\nCONNECT 28800\r\nfirst", sink.Take());
    EXPECT_EQ(std::vector<int>{rasim::kStatusConnected}, sink.statuses);
    EXPECT_TRUE(modem.Online());
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    Send(all + "AT\rATH\r+++");
    EXPECT_EQ(all + "AT\rATH\r+++", sink.Take());
    EXPECT_TRUE(modem.Online());
}

TEST_F(HayesModemTest, GuardedEscapeReturnsToCommandModeKeepingTheCarrier) {
    Dial();
    Send("+++", kGuard);
    EXPECT_EQ("+++", sink.Take());
    EXPECT_EQ(now + kGuard, modem.NextDeadline());
    Wait(kGuard - 1);
    EXPECT_TRUE(modem.Online());
    Wait(1);
    EXPECT_FALSE(modem.Online());
    EXPECT_EQ("\r\nOK\r\n", sink.Take());
    EXPECT_EQ(std::vector<int>{rasim::kStatusConnected}, sink.statuses);
    Send("ATO\r");
    EXPECT_EQ("\r\nCONNECT 28800\r\n", sink.Take());
    EXPECT_TRUE(modem.Online());
}

TEST_F(HayesModemTest, PlusesWithoutTheGuardTimeStayData) {
    const struct {
        const char* name;
        std::uint64_t silenceBefore;
        const char* text;
        const char* after;  // sent within the guard time after the pluses
    } cases[] = {
        {"no silence before", 10, "+++", ""},
        {"data right after", kGuard, "+++", "x"},
        {"four pluses", kGuard, "++++", ""},
        {"pluses inside a block", kGuard, "a+++", ""},
    };
    for (const auto& c : cases) {
        Dial();
        Send(c.text, c.silenceBefore);
        if (*c.after) Send(c.after, 10);
        Wait(2 * kGuard);
        EXPECT_TRUE(modem.Online()) << c.name;
        EXPECT_EQ(std::string(c.text) + c.after, sink.Take()) << c.name;
        Send("ATH\r");  // still data: echoed
        EXPECT_EQ("ATH\r", sink.Take()) << c.name;
        // Leave the line for the next case.
        Send("+++", kGuard);
        Wait(kGuard);
        Send("ATH\r");
        sink.Take();
    }
}

TEST_F(HayesModemTest, HangUpDropsTheCarrier) {
    Dial();
    Send("+++", kGuard);
    Wait(kGuard);
    sink.Take();
    Send("ATH\r");
    EXPECT_EQ("\r\nOK\r\n", sink.Take());
    EXPECT_EQ((std::vector<int>{rasim::kStatusConnected, 0}), sink.statuses);
    Send("ATO\r");
    EXPECT_EQ("\r\nNO CARRIER\r\n", sink.Take());
}

TEST_F(HayesModemTest, DialWhileConnectedIsAnError) {
    Dial();
    Send("+++", kGuard);
    Wait(kGuard);
    sink.Take();
    Send("ATD1\r");
    EXPECT_EQ("\r\nERROR\r\n", sink.Take());
}

TEST_F(HayesModemTest, BurstHookSendsAKnownPatternThenOk) {
    Send("AT*B300\r");
    const std::string out = sink.Take();
    ASSERT_EQ(300u + 6u, out.size());
    for (std::size_t i = 0; i < 300; ++i) ASSERT_EQ(static_cast<char>(i & 0xFF), out[i]) << i;
    EXPECT_EQ("\r\nOK\r\n", out.substr(300));
}

TEST_F(HayesModemTest, SinkHookDialsSwallowsTheCountThenEchoesAgain) {
    Send("AT*S5\r");
    EXPECT_EQ("\r\nCONNECT 28800\r\n", sink.Take());
    EXPECT_EQ(std::vector<int>{rasim::kStatusConnected}, sink.statuses);
    Send("abc");
    EXPECT_EQ("", sink.Take());
    Send("deFG");
    EXPECT_EQ("\r\nSUNK\r\nFG", sink.Take());
}

TEST_F(HayesModemTest, FloodHookDialsThenSendsTheCountInPiecesWhenAsked) {
    struct PieceSink : RecordingSink {
        std::vector<std::size_t> pieces;
        void ToHost(const std::uint8_t* data, std::size_t count) override {
            pieces.push_back(count);
            RecordingSink::ToHost(data, count);
        }
    } pieceSink;
    rasim::HayesModem m(pieceSink, kGuard);
    const std::string line = "AT*F2500\r";
    m.FromHost(reinterpret_cast<const std::uint8_t*>(line.data()), line.size(), 0);
    EXPECT_EQ("\r\nCONNECT 28800\r\n", pieceSink.Take());
    pieceSink.pieces.clear();
    ASSERT_TRUE(m.Flooding());
    m.Flood(1500);  // as much as the caller has room for
    m.Flood(10000);
    EXPECT_FALSE(m.Flooding());
    EXPECT_EQ((std::vector<std::size_t>{1020, 480, 1000}), pieceSink.pieces);
    const std::string out = pieceSink.Take();
    ASSERT_EQ(2500u, out.size());
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(static_cast<char>((i ^ (i >> 8)) & 0xFF), out[i]) << i;
}

TEST_F(HayesModemTest, ConnectionHooksStopTheModem) {
    const struct {
        const char* line;
        const char* hook;
        const char* reply;
    } cases[] = {
        {"AT*X\rAT\r", "drop", ""},
        {"AT*D5\rAT\r", "disconnect 5", ""},
        {"AT*K\r", "keepalive", "\r\nOK\r\n"},
    };
    for (const auto& c : cases) {
        RecordingSink fresh;
        rasim::HayesModem m(fresh, kGuard);
        const std::string text = c.line;
        m.FromHost(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 0);
        EXPECT_EQ(std::vector<std::string>{c.hook}, fresh.hooks) << c.line;
        EXPECT_EQ(c.reply, fresh.toHost) << c.line;
    }
}

}  // namespace
