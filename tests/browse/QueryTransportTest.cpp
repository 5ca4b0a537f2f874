#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "BrowseErrors.h"
#include "DeviceQueries.h"
#include "FakeNetwork.h"
#include "Network.h"
#include "ResultSink.h"
#include "RetryTimer.h"

using namespace kvr::browse;

namespace {

// Send times of a query that never gets an answer, in seconds from the first.
std::vector<std::uint32_t> SilentSendSchedule(std::uint16_t limit, std::int32_t& result) {
    fake::Network network;
    network.AddDevice("127.0.0.9", "Mute").snmp.silent = true;
    const std::uint8_t address[4] = {127, 0, 0, 9};
    std::unique_ptr<DatagramChannel> channel;
    network.Open(kTransportIp, IpDestination(address, kSnmpUdpPort), false, channel);
    QueryContext query(std::move(channel), limit, nullptr, false);
    DeviceDetailRecord record;
    result = QuerySingleDevice(query, -1, record);
    std::vector<std::uint32_t> seconds;
    for (const fake::Sent& sent : network.sent) seconds.push_back(sent.at / 1000);
    return seconds;
}

}  // namespace

TEST(RetryTimerTest, UnansweredQuerySendsAtZeroFiveFifteenAndFiftyFive) {
    struct Case {
        std::uint16_t limit;
        std::vector<std::uint32_t> sends;
    } cases[] = {
        {60, {0, 5, 15, 55}},
        {20, {0, 5, 15}},
        {5, {0}},
        {0, {0, 5, 15, 55}},  // 0 is 300 s: the next send would be at 375
    };
    for (const Case& c : cases) {
        std::int32_t result = 0;
        EXPECT_EQ(c.sends, SilentSendSchedule(c.limit, result)) << "limit " << c.limit;
        EXPECT_EQ(kHlpNoAnswer, result);
    }
}

TEST(RetryTimerTest, BackOffKeepsItsLastFactorPastTheTable) {
    RetryTimer timer(0xFFFF);
    std::uint32_t now = 0;
    std::vector<std::uint32_t> intervals;
    timer.BeforeSend(now);
    for (int expiry = 0; expiry < 6; ++expiry) {
        intervals.push_back(timer.IntervalSeconds());
        if (expiry == 5) break;
        now += timer.IntervalSeconds() * 1000 + 1;
        ASSERT_EQ(RetryTimer::State::IntervalExpired, timer.Check(now));
        timer.BeforeSend(now);
    }
    const std::vector<std::uint32_t> expected = {5, 10, 40, 320, 5120, 65535};
    EXPECT_EQ(expected, intervals);
}

TEST(RetryTimerTest, ExpiriesCarryOverToLaterRequestsOfOneContext) {
    RetryTimer timer(300);
    timer.BeforeSend(0);
    EXPECT_EQ(RetryTimer::State::IntervalExpired, timer.Check(5001));
    timer.BeforeSend(5001);  // resent with the interval doubled
    timer.OnData();
    timer.BeforeSend(6000);  // the next request of a walk backs off again
    EXPECT_EQ(20u, timer.IntervalSeconds());
    // ... and keeps the first send as the start of the overall time-out.
    EXPECT_EQ(RetryTimer::State::TimedOut, timer.Check(300001));
}

TEST(RetryTimerTest, AnsweredRequestsRestartTheirTimeOut) {
    RetryTimer timer(10);
    timer.BeforeSend(0);
    timer.OnData();
    timer.BeforeSend(9000);
    EXPECT_EQ(RetryTimer::State::Waiting, timer.Check(13000));
    EXPECT_EQ(RetryTimer::State::IntervalExpired, timer.Check(14001));
    EXPECT_EQ(RetryTimer::State::TimedOut, timer.Check(19001));
}

TEST(RetryTimerTest, TickCountWrapIsHarmless) {
    RetryTimer timer(10);
    timer.BeforeSend(0xFFFFF000);
    EXPECT_EQ(RetryTimer::State::Waiting, timer.Check(0x00000100));
    EXPECT_EQ(RetryTimer::State::TimedOut, timer.Check(0xFFFFF000 + 10001));
}

namespace {

struct Rec {
    std::uint8_t bytes[8];
};

std::int32_t ReportTag(ResultSink& sink, std::uint8_t tag, bool dropDuplicates) {
    Rec r;
    std::memset(r.bytes, tag, sizeof r.bytes);
    return sink.Report(NoticeKind::Device, &r, sizeof r, dropDuplicates);
}

std::vector<int> g_seen;
std::int32_t KVR_STDCALL Remember(std::uint32_t reserved, const HlpNotice* notice) {
    EXPECT_EQ(0u, reserved);
    EXPECT_EQ(1, notice->count);
    const int tag = static_cast<const Rec*>(notice->record)->bytes[0];
    g_seen.push_back(tag);
    return tag == 7 ? 7 : 0;
}

}  // namespace

TEST(ResultSinkTest, BufferKeepsWhatFitsAndReportsFull) {
    Rec buffer[2];
    ResultSink sink(buffer, sizeof buffer + 4, nullptr);
    EXPECT_EQ(kHlpOk, ReportTag(sink, 1, false));
    EXPECT_EQ(kHlpOk, ReportTag(sink, 2, false));
    EXPECT_EQ(kHlpBufferFull, ReportTag(sink, 3, false));
    EXPECT_EQ(2, sink.Count());
    EXPECT_EQ(2, buffer[1].bytes[0]);

    ResultSink tiny(buffer, sizeof(Rec) - 1, nullptr);
    EXPECT_EQ(kHlpBufferFull, ReportTag(tiny, 1, false));
    EXPECT_EQ(0, tiny.Count());
}

TEST(ResultSinkTest, DuplicatesAreDroppedOnlyWhenAsked) {
    Rec buffer[4];
    ResultSink sink(buffer, sizeof buffer, nullptr);
    for (std::uint8_t tag : {1, 1, 2, 1}) ReportTag(sink, tag, true);
    EXPECT_EQ(2, sink.Count());
    ReportTag(sink, 1, false);
    EXPECT_EQ(3, sink.Count());
}

TEST(ResultSinkTest, CallbackGetsEachRecordAndCanEndTheOperation) {
    g_seen.clear();
    ResultSink sink(nullptr, 0, Remember);
    EXPECT_EQ(kHlpOk, ReportTag(sink, 1, true));
    EXPECT_EQ(kHlpOk, ReportTag(sink, 1, true));
    EXPECT_EQ(7, ReportTag(sink, 7, true));
    EXPECT_EQ((std::vector<int>{1, 7}), g_seen);
    EXPECT_EQ(1, sink.Count());
}

TEST(QueryDestinationTest, TargetAddressesBecomeQueryDestinations) {
    std::uint8_t target[20] = {};
    // TCP/IP: a whole socket address at offset 4, port 1549.
    const std::uint8_t ip[4] = {127, 0, 0, 5};
    const ServerAddress stored = IpDestination(ip, 1549);
    std::memcpy(target + 4, &stored, sizeof stored);
    ServerAddress destination;
    ASSERT_EQ(kHlpOk, QueryDestination(target, kTransportIp, destination));
    EXPECT_EQ(kTransportIp, destination.family);
    EXPECT_EQ(161, fake::PortOf(destination));
    EXPECT_EQ(0, std::memcmp(destination.data + 2, ip, 4));

    // IPX: network 4-7, node 8-13, socket 14-15 replaced by 0x900F.
    for (int i = 4; i < 16; ++i) target[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(kHlpOk, QueryDestination(target, kTransportIpx, destination));
    EXPECT_EQ(kTransportIpx, destination.family);
    EXPECT_EQ(0, std::memcmp(destination.data, target + 4, 10));
    EXPECT_EQ(0x90, destination.data[10]);
    EXPECT_EQ(0x0F, destination.data[11]);

    EXPECT_EQ(kHlpUnsupportedTransport, QueryDestination(target, 4, destination));
    EXPECT_EQ(kHlpMissingArgument, QueryDestination(nullptr, kTransportIp, destination));
}
