#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BrowseErrors.h"
#include "DeviceQueries.h"
#include "FakeNetwork.h"

using namespace kvr::browse;

namespace {

class DeviceQueryTest : public ::testing::Test {
protected:
    QueryContext Query(std::uint16_t timeout = 20, bool sendOnce = false) {
        const std::uint8_t address[4] = {127, 0, 0, 7};
        std::unique_ptr<DatagramChannel> channel;
        network.Open(kTransportIp, IpDestination(address, kSnmpUdpPort), false, channel);
        return QueryContext(std::move(channel), timeout, nullptr, sendOnce);
    }

    std::vector<std::string> SerialNames(std::uint32_t mask, std::int32_t& result) {
        char buffer[8][256];
        ResultSink sink(buffer, sizeof buffer, nullptr);
        QueryContext query = Query();
        result = QuerySerialNames(query, mask, sink);
        std::vector<std::string> names;
        for (std::uint16_t i = 0; i < sink.Count(); ++i) names.emplace_back(buffer[i]);
        return names;
    }

    fake::Network network;
    rasim::DeviceConfig& device = network.AddDevice("127.0.0.7", "Server7");
};

std::vector<SerialPortEntry> g_entries;
std::int32_t KVR_STDCALL KeepEntry(std::uint32_t, const HlpNotice* notice) {
    EXPECT_EQ(static_cast<std::uint16_t>(NoticeKind::SerialPort), notice->kind);
    g_entries.push_back(*static_cast<const SerialPortEntry*>(notice->record));
    return 0;
}

}  // namespace

TEST_F(DeviceQueryTest, SingleDeviceAnswerFillsTheDetailRecord) {
    device.snmp.version[1] = 2;
    device.snmp.capability = 6;
    device.snmp.hardware = 12;
    DeviceDetailRecord record;
    QueryContext query = Query();
    ASSERT_EQ(kHlpOk, QuerySingleDevice(query, 12, record));
    EXPECT_EQ(kTransportIp, record.device.transport);
    EXPECT_STREQ("Server7", record.device.name);
    EXPECT_STREQ("", record.device.typeText);  // named only by the caller that wants it
    const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, 127, 0, 0, 7};
    EXPECT_EQ(0, std::memcmp(address, record.device.address, sizeof address));
    EXPECT_EQ(12u, record.hardwareType);
    EXPECT_EQ(4, record.version[0]);
    EXPECT_EQ(2, record.version[1]);
    EXPECT_EQ(6, record.capability);
}

// A type of 128 or more written in one byte reads as a negative INTEGER; it
// means the byte, as a correctly written two-byte type does.
TEST(HardwareTypeOfTest, NegativeOneByteTypesAreTheirByte) {
    const struct {
        std::int32_t read;
        std::uint32_t number;
    } cases[] = {{9, 9}, {-10, 246}, {-128, 128}, {200, 200}, {300, 300}, {70000, 70000}};
    for (const auto& c : cases) {
        snmp::DiscoveryAnswer answer;
        answer.hardwareType = c.read;
        EXPECT_EQ(c.number, HardwareTypeOf(answer)) << c.read;
    }
}

TEST_F(DeviceQueryTest, SingleDeviceVerification) {
    struct Case {
        int major;
        std::int32_t hardware;
        std::int32_t wanted;
        std::int32_t result;
    } cases[] = {
        {4, 9, -1, kHlpOk},
        {5, 9, 9, kHlpOk},
        {3, 9, -1, kHlpVersionTooOld},
        {4, 9, 12, kHlpWrongHardwareType},
        {3, 9, 12, kHlpVersionTooOld},  // the version is checked first
        {4, 200, 200, kHlpOk},          // types from 128 on take two bytes
        {4, 300, 300, kHlpOk},
        {4, 300, 44, kHlpWrongHardwareType},
    };
    for (const Case& c : cases) {
        device.snmp.version[0] = static_cast<std::uint8_t>(c.major);
        device.snmp.hardware = c.hardware;
        DeviceDetailRecord record;
        QueryContext query = Query();
        EXPECT_EQ(c.result, QuerySingleDevice(query, c.wanted, record)) << c.major << " " << c.wanted;
    }
}

TEST_F(DeviceQueryTest, NoSuchNameIsIgnoredAndOtherErrorsEndTheQuery) {
    device.snmp.forceError = true;
    device.snmp.errorStatus = 2;
    DeviceDetailRecord record;
    QueryContext quiet = Query(20);
    EXPECT_EQ(kHlpNoAnswer, QuerySingleDevice(quiet, -1, record));
    EXPECT_GE(network.sent.size(), 3u);  // still asking

    device.snmp.errorStatus = 5;
    QueryContext failing = Query(20);
    EXPECT_EQ(-105, QuerySingleDevice(failing, -1, record));
}

TEST_F(DeviceQueryTest, GarbageReplyToASingleDeviceQuery) {
    device.snmp.silent = true;
    network.responder = [](const fake::Sent&) { return std::vector<fake::Bytes>{{0x30, 0x03, 0x02}}; };
    DeviceDetailRecord record;
    QueryContext query = Query();
    EXPECT_EQ(kHlpUndecodable, QuerySingleDevice(query, -1, record));
}

TEST_F(DeviceQueryTest, ServerInfoSummarisesTheFlags) {
    struct Case {
        std::int32_t ipDialOut;
        std::int32_t flag3;
        std::uint32_t expectIp;
        std::uint32_t expectThird;
    } cases[] = {{3, 3, 1, 1}, {3, 2, 1, 0}, {2, 3, 0, 1}, {0, 0, 0, 0}};
    device.snmp.version[1] = 1;
    device.snmp.capability = 2;
    for (const Case& c : cases) {
        device.snmp.ipDialOut = c.ipDialOut;
        device.snmp.flag3 = c.flag3;
        ServerSummary summary;
        QueryContext query = Query(20, true);
        ASSERT_EQ(kHlpOk, QueryServerInfo(query, summary));
        const std::uint8_t version[8] = {4, 1, 0, 0, 2, 0, 0, 0};
        EXPECT_EQ(0, std::memcmp(version, summary.version, sizeof version));
        EXPECT_EQ(c.expectIp, summary.ipDialOut);
        EXPECT_EQ(c.expectThird, summary.thirdFlag);
    }
}

TEST_F(DeviceQueryTest, ServerInfoIsAskedOnceAndTimesOut) {
    device.snmp.silent = true;
    ServerSummary summary;
    QueryContext query = Query(30, true);
    EXPECT_EQ(kHlpNoAnswer, QueryServerInfo(query, summary));
    EXPECT_EQ(1u, network.sent.size());

    device.snmp.silent = false;
    device.snmp.forceError = true;
    device.snmp.errorStatus = 2;
    QueryContext failing = Query(30, true);
    EXPECT_EQ(-102, QueryServerInfo(failing, summary));
}

TEST_F(DeviceQueryTest, SerialNamesFromTheNewerTableFollowThePortMask) {
    device.ports = {"Modem1", "Modem2", "IpxOnly", "Modem4"};
    device.snmp.portMasks = {{"IpxOnly", 2}, {"Modem2", 1}};
    std::int32_t result = 0;
    EXPECT_EQ((std::vector<std::string>{"Modem1", "Modem2", "Modem4"}), SerialNames(kPortMaskIp, result));
    EXPECT_EQ(kHlpOk, result);
    EXPECT_EQ((std::vector<std::string>{"Modem1", "IpxOnly", "Modem4"}), SerialNames(kPortMaskIpx, result));
    EXPECT_EQ(kHlpOk, result);
}

TEST_F(DeviceQueryTest, OlderDevicesHaveTheirGroupNamesWalkedWhateverTheMask) {
    device.ports = {"Group1", "Group2"};
    device.snmp.serialTable = rasim::SerialTable::kOlder;
    device.snmp.portMasks = {{"Group2", 0}};
    std::int32_t result = 0;
    EXPECT_EQ((std::vector<std::string>{"Group1", "Group2"}), SerialNames(kPortMaskIp, result));
    EXPECT_EQ(kHlpOk, result);
}

TEST_F(DeviceQueryTest, DeviceWithoutEitherTableHasNoPorts) {
    device.ports = {"Hidden"};
    device.snmp.serialTable = rasim::SerialTable::kNone;
    std::int32_t result = 0;
    EXPECT_TRUE(SerialNames(kPortMaskIp, result).empty());
    EXPECT_EQ(kHlpOk, result);
}

TEST_F(DeviceQueryTest, WalkStopsWhereTheColumnEnds) {
    device.ports = {"A", "B"};
    std::int32_t result = 0;
    SerialNames(kPortMaskIp, result);
    // Two rows, then one answer that left the column: three requests.
    EXPECT_EQ(3u, network.sent.size());
}

TEST_F(DeviceQueryTest, CallbackReceivesTheNameWithItsMask) {
    device.ports = {"Modem1", "Modem2"};
    device.snmp.portMasks = {{"Modem2", 0x11}};
    g_entries.clear();
    ResultSink sink(nullptr, 0, KeepEntry);
    QueryContext query = Query();
    ASSERT_EQ(kHlpOk, QuerySerialNames(query, kPortMaskIp, sink));
    ASSERT_EQ(2u, g_entries.size());
    EXPECT_STREQ("Modem2", g_entries[1].name);
    EXPECT_EQ(0x11u, g_entries[1].capabilities);
    EXPECT_EQ(2, sink.Count());
}

TEST_F(DeviceQueryTest, SerialNameWalkErrors) {
    device.ports = {"A"};
    std::int32_t result = 0;
    device.snmp.silent = true;
    SerialNames(kPortMaskIp, result);
    EXPECT_EQ(kHlpNoAnswer, result);
    device.snmp.silent = false;
    device.snmp.forceError = true;
    device.snmp.errorStatus = 5;
    SerialNames(kPortMaskIp, result);
    EXPECT_EQ(-105, result);
}

TEST_F(DeviceQueryTest, AgentThatDoesNotMoveForwardEndsTheWalk) {
    device.snmp.silent = true;
    // Always the same first row: the walk must not go on for ever.
    network.responder = [this](const fake::Sent& sent) {
        rasim::DeviceConfig echo = device;
        echo.snmp.silent = false;
        echo.ports = {"Loop"};
        const rasim::DeviceMib mib(echo);
        const rasim::SnmpAgent agent(mib, rasim::AgentSettings::From(echo.snmp));
        // Answer as if asked for the bare columns each time.
        std::uint8_t answer[512];
        std::size_t length = agent.Answer(network.sent.front().bytes.data(),
                                          network.sent.front().bytes.size(), answer, sizeof answer);
        (void)sent;
        return std::vector<fake::Bytes>{fake::Bytes(answer, answer + length)};
    };
    std::int32_t result = 0;
    SerialNames(kPortMaskIp, result);
    EXPECT_EQ(kHlpUndecodable, result);
    EXPECT_EQ(2u, network.sent.size());
}
