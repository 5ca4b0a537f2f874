// The dial-out path end to end: the port driver's pipe, the service in debug
// mode, and a simulated device with a modem behind its port.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <vector>

#include "DialOutRig.h"

namespace {

// Collects the driver's data until it holds text (or the pipe closes).
bool ReadUntil(portdrv::PortDriverClient& client, const std::string& text, std::string& seen,
               std::vector<size_t>* pieces = nullptr) {
    while (seen.find(text) == std::string::npos) {
        portdrv::Message m;
        if (client.Receive(m, 20000) != portdrv::ReadResult::Message) return false;
        if (m.type != portpipe::PipeData) continue;
        if (pieces != nullptr) pieces->push_back(m.payload.size());
        seen.append(m.payload.begin(), m.payload.end());
    }
    return true;
}

bool Command(portdrv::PortDriverClient& client, const std::string& line, const std::string& answer,
             std::string& seen) {
    const std::string data = line + "\r";
    return client.SendData(data.data(), data.size()) && ReadUntil(client, answer, seen);
}

}  // namespace

TEST(DialOut, DialEchoAndHangUp) {
    DialOutRig rig;
    ASSERT_TRUE(rig.Ready()) << rig.Service().Output();
    portdrv::PortDriverClient client;
    ASSERT_TRUE(rig.Open(client)) << rig.Service().Output();
    std::string seen;
    ASSERT_TRUE(Command(client, "AT", "OK\r\n", seen));
    ASSERT_TRUE(Command(client, "ATDT5551234", "CONNECT", seen));
    // The carrier comes up in the driver's modem status.
    EXPECT_TRUE(rig.Simulator().WaitFor("carrier=1"));
    seen.clear();
    ASSERT_TRUE(client.SendData("hello modem", 11));
    ASSERT_TRUE(ReadUntil(client, "hello modem", seen));
    EXPECT_TRUE(rig.Simulator().WaitFor("LOGIN "));
    client.Close();
    EXPECT_TRUE(rig.Simulator().WaitFor("CLOSED "));
    EXPECT_TRUE(rig.Service().WaitFor("Session ended."));
}

TEST(DialOut, MegabyteEachWayArrivesCompleteAndInOrder) {
    DialOutRig rig;
    ASSERT_TRUE(rig.Ready());
    portdrv::PortDriverClient client;
    ASSERT_TRUE(rig.Open(client));
    std::string seen;
    ASSERT_TRUE(Command(client, "ATD1", "CONNECT 28800\r\n", seen));

    std::vector<std::uint8_t> sent(1 << 20);
    std::mt19937 random(12345);
    for (auto& b : sent) b = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> received;
    received.reserve(sent.size());
    std::thread reader([&] {
        portdrv::Message m;
        while (received.size() < sent.size() && client.Receive(m, 20000) == portdrv::ReadResult::Message)
            if (m.type == portpipe::PipeData) received.insert(received.end(), m.payload.begin(), m.payload.end());
    });
    for (size_t at = 0; at < sent.size(); at += 1020)
        ASSERT_TRUE(client.SendData(sent.data() + at, std::min<size_t>(1020, sent.size() - at)));
    reader.join();
    ASSERT_EQ(sent.size(), received.size());
    EXPECT_TRUE(sent == received);
}

TEST(DialOut, LongServerMessageReachesTheDriverIn1020BytePieces) {
    DialOutRig rig;
    ASSERT_TRUE(rig.Ready());
    portdrv::PortDriverClient client;
    ASSERT_TRUE(rig.Open(client));
    std::string seen;
    ASSERT_TRUE(Command(client, "AT", "OK\r\n", seen));
    seen.clear();
    std::vector<size_t> pieces;
    const std::string command = "AT*B2045\r";
    ASSERT_TRUE(client.SendData(command.data(), command.size()));
    ASSERT_TRUE(ReadUntil(client, "OK\r\n", seen, &pieces));
    ASSERT_GE(pieces.size(), 3u);
    EXPECT_EQ((std::vector<size_t>{1020, 1020, 5}), std::vector<size_t>(pieces.begin(), pieces.begin() + 3));
    for (size_t i = 0; i < 2045; ++i) ASSERT_EQ(static_cast<char>(i & 0xFF), seen[i]) << i;
}

TEST(DialOut, ServerClosingWhileOnlineEndsTheSession) {
    DialOutRig rig;
    ASSERT_TRUE(rig.Ready());
    portdrv::PortDriverClient client;
    ASSERT_TRUE(rig.Open(client));
    const std::string command = "AT*X\r";
    ASSERT_TRUE(client.SendData(command.data(), command.size()));
    std::string seen;
    EXPECT_FALSE(ReadUntil(client, "never", seen));  // the pipe closes
    EXPECT_TRUE(rig.Service().WaitFor("Session ended."));
}

TEST(DialOut, PortDriverStandInOpensDialsAndHangsUp) {
    DialOutRig rig;
    ASSERT_TRUE(rig.Ready());
    const std::wstring key = rig.PortKey();
    ChildProcess driver(L"portdrv.exe", L"-pipe " + rig.PipeName() + L" " + key);
    driver.Write("at ATD42\nexpect CONNECT\nsend ping\\r\\n\nexpect ping\nquit\n");
    EXPECT_EQ(0u, driver.WaitExit(30000)) << driver.Output();
    const std::string output = driver.Output();
    EXPECT_NE(std::string::npos, output.find("OPEN RESULT 0\nMODEM STATUS 0x30\nLINE STATUS 0x60\n")) << output;
    EXPECT_NE(std::string::npos, output.find("MODEM STATUS 0xB0")) << output;
    EXPECT_NE(std::string::npos, output.find("EXPECT OK")) << output;
    EXPECT_EQ(std::string::npos, output.find("EXPECT FAILED")) << output;
}

namespace {

// Writes `bytes` of a pattern through the port while a reader takes the echo;
// true when every byte came back in order.
bool EchoBothWaysSaturated(portdrv::PortDriverClient& client, size_t bytes, unsigned seed, std::string& why) {
    std::vector<std::uint8_t> sent(bytes);
    std::mt19937 random(seed);
    for (auto& b : sent) b = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> received;
    received.reserve(bytes);
    std::thread reader([&] {
        portdrv::Message m;
        while (received.size() < bytes && client.Receive(m, 20000) == portdrv::ReadResult::Message)
            if (m.type == portpipe::PipeData) received.insert(received.end(), m.payload.begin(), m.payload.end());
    });
    bool writes = true;
    for (size_t at = 0; at < bytes && writes; at += 1020)
        writes = client.SendData(sent.data() + at, std::min<size_t>(1020, bytes - at));
    if (!writes) client.CancelPendingIo();
    reader.join();
    if (received.size() != sent.size()) {
        why = "stalled after " + std::to_string(received.size()) + " of " + std::to_string(bytes) + " bytes";
        return false;
    }
    const auto mismatch = std::mismatch(sent.begin(), sent.end(), received.begin());
    if (mismatch.first != sent.end()) {
        why = "byte " + std::to_string(mismatch.first - sent.begin()) + " differs";
        return false;
    }
    return true;
}

}  // namespace

// 16 MB each way with both directions saturated at once, several times over:
// the relay never stalls and every byte comes back in order.
TEST(DialOut, SixteenMegabytesEachWayBothSaturatedNeverStall) {
    DialOutRig rig;
    ASSERT_TRUE(rig.Ready());
    for (unsigned run = 0; run < 5; ++run) {
        portdrv::PortDriverClient client;
        ASSERT_TRUE(rig.Open(client)) << run;
        std::string seen;
        ASSERT_TRUE(Command(client, "ATD1", "CONNECT 28800\r\n", seen)) << run;
        std::string why;
        EXPECT_TRUE(EchoBothWaysSaturated(client, 16u << 20, 1000 + run, why)) << "run " << run << ": " << why;
    }
}
