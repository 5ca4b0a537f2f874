#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "BerBytes.h"
#include "BrowseErrors.h"
#include "DeviceQueries.h"
#include "DiscoveryFixture.h"
#include "SnmpCodec.h"

using namespace kvr::browse;

namespace {

// A discovery answer made by hand: the device's values, or the NULLs of an
// agent that echoes the request, under the given error status.
fake::Bytes DiscoveryAnswer(const std::string& name, std::int32_t status, bool withValues, std::int32_t dialOut) {
    using ber::Tlv;
    const ber::Bytes oids[] = {ber::OidContent(snmp::kVersionOid), ber::OidContent(snmp::kIpDialOutOid),
                               ber::OidContent(snmp::kHardwareTypeOid), ber::OidContent(snmp::kOwnAddressOid),
                               ber::OidContent(snmp::kDeviceNameOid)};
    const ber::Bytes values[] = {Tlv(0x04, {4, 0, 0, 0, 0}), Tlv(0x02, {static_cast<std::uint8_t>(dialOut)}),
                                 Tlv(0x02, {12}), Tlv(0x40, {127, 0, 0, 36}), Tlv(0x04, ber::Text(name))};
    ber::Bytes bindings;
    for (std::size_t i = 0; i < 5; ++i) {
        const ber::Bytes value = withValues ? values[i] : ber::Bytes{0x05, 0x00};
        bindings = ber::Concat({bindings, Tlv(0x30, ber::Concat({Tlv(0x06, oids[i]), value}))});
    }
    const ber::Bytes zero = {0x02, 0x01, 0x00};
    const ber::Bytes pdu = Tlv(0xA2, ber::Concat({zero, Tlv(0x02, {static_cast<std::uint8_t>(status)}), zero,
                                                  Tlv(0x30, bindings)}));
    return Tlv(0x30, ber::Concat({zero, Tlv(0x04, ber::Text("public")), pdu}));
}

rasim::DeviceConfig& Discoverable(fake::Network& network, const char* ip, const char* name,
                                  std::int32_t hardware = 12) {
    rasim::DeviceConfig& device = network.AddDevice(ip, name);
    device.snmp.discovery = true;
    device.snmp.hardware = hardware;
    return device;
}

}  // namespace

TEST_F(DiscoveryTest, EveryDeviceByDefaultOrder) {
    AddKnownServer("Stored", "Rack Unit", "127.0.0.20");
    Discoverable(network, "127.0.0.21", "Broadcaster");
    network.hosts["*"] = {127, 0, 0, 21};
    ASSERT_EQ(kHlpOk, Find("*"));
    // DeviceFile first, then Proprietary; DNS reports nothing for "*".
    EXPECT_EQ((std::vector<std::string>{"Stored", "Broadcaster"}), FoundNames());
    EXPECT_EQ(0, network.resolves);
    EXPECT_EQ(1, network.broadcasts);
    // A known server's type code comes from the catalogue during the search.
    EXPECT_STREQ("RACK", Found()[0].typeCode);
}

TEST_F(DiscoveryTest, LookupMethodsSetting) {
    Discoverable(network, "127.0.0.21", "Broadcaster");
    network.AddDevice("127.0.0.22", "Named");
    network.hosts["Named"] = {127, 0, 0, 22};

    SetLookupMethods("DNS, DeviceFile");  // never the broadcast
    ASSERT_EQ(kHlpOk, Find("*"));
    EXPECT_EQ(0, network.broadcasts);
    EXPECT_TRUE(FoundNames().empty());

    SetLookupMethods("DNS, Proprietary");
    ASSERT_EQ(kHlpOk, Find("Named"));
    EXPECT_EQ(std::vector<std::string>{"Named"}, FoundNames());
    EXPECT_EQ(0, network.broadcasts);  // the specific search stopped after DNS
}

TEST_F(DiscoveryTest, SpecificSearchGoesOnUntilAMethodFinds) {
    SetLookupMethods("Proprietary DNS");
    network.AddDevice("127.0.0.22", "Quiet");  // does not answer broadcasts
    network.hosts["Quiet"] = {127, 0, 0, 22};
    ASSERT_EQ(kHlpOk, Find("Quiet"));
    EXPECT_EQ(std::vector<std::string>{"Quiet"}, FoundNames());
    EXPECT_EQ(1, network.broadcasts);
    EXPECT_EQ(1, network.resolves);
    // The single-device answer carries no type text.
    EXPECT_STREQ("", Found()[0].typeText);
}

TEST_F(DiscoveryTest, BroadcastFilters) {
    SetLookupMethods("Proprietary");
    struct Case {
        const char* pattern;
        const char* replyName;
        int major;
        std::int32_t dialOut;
        bool kept;
    } cases[] = {
        {"*", "Alpha", 4, 3, true},
        {"*", "Alpha", 3, 3, false},  // too old for a general search
        {"*", "Alpha", 4, 2, false},  // no IP dial-out
        {"alpha", "Alpha", 3, 3, true},  // a specific search asks no version
        {"Alpha", "Alpha", 4, 2, false},
        {"AlphaBeta", "Alpha", 4, 3, true},  // the requested name is cut to the reply's
        {"Alp", "Alpha", 4, 3, false},
        {"Alpine", "Alp*", 4, 3, true},     // "*" in the reply ends the comparison
        {"Beta", "Alpha", 4, 3, false},
    };
    for (const Case& c : cases) {
        fake::Network fresh;
        rasim::DeviceConfig& device = Discoverable(fresh, "127.0.0.30", c.replyName);
        device.snmp.version[0] = static_cast<std::uint8_t>(c.major);
        device.snmp.ipDialOut = c.dialOut;
        kvr::browse::SearchParameters params;
        params.namePattern = c.pattern;
        params.timeoutSeconds = 3;
        DeviceRecord buffer[2];
        ResultSink sink(buffer, sizeof buffer, nullptr);
        std::uint16_t found = 0;
        ASSERT_EQ(kHlpOk, FindDevices(fresh, kTransportIp, params, sink, found));
        EXPECT_EQ(c.kept ? 1 : 0, found) << c.pattern << " / " << c.replyName;
    }
}

TEST_F(DiscoveryTest, BroadcastDevicesAreNamedFromTheirHardwareType) {
    SetLookupMethods("Proprietary");
    SetText(std::string(reg::kLookupKeyA) + "\\HardwareTypes\\200", "Name", "Model 200");
    SetText(reg::kLookupKeyA, "Big Rack", "CODE=BIG / HARDWARE=300");
    const struct {
        const char* ip;
        const char* name;
        std::int32_t hardware;
        const char* type;  // null: not reported
        const char* code;
    } devices[] = {
        {"127.0.0.31", "InCatalogue", 12, "Rack Unit", "RACK"},
        {"127.0.0.32", "OnlyInTable", 9, "Ninth Model", "ORD9"},
        {"127.0.0.33", "Unknown", 33, nullptr, nullptr},
        {"127.0.0.38", "TwoHundred", 200, "Model 200", "ORD200"},  // types from 128 on take two bytes
        {"127.0.0.39", "ThreeHundred", 300, "Big Rack", "BIG"},
    };
    for (const auto& d : devices) Discoverable(network, d.ip, d.name, d.hardware);
    ASSERT_EQ(kHlpOk, Find("*"));
    std::map<std::string, DeviceRecord> found;
    for (const DeviceRecord& record : Found()) found[record.name] = record;
    for (const auto& d : devices) {
        SCOPED_TRACE(d.name);
        ASSERT_EQ(d.type ? 1u : 0u, found.count(d.name));
        if (d.type == nullptr) continue;
        EXPECT_STREQ(d.type, found[d.name].typeText);
        EXPECT_STREQ(d.code, found[d.name].typeCode);
    }
    const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, 127, 0, 0, 32};
    EXPECT_EQ(0, std::memcmp(address, found["OnlyInTable"].address, sizeof address));
}

TEST_F(DiscoveryTest, DuplicateBroadcastRepliesGiveOneRecord) {
    SetLookupMethods("Proprietary");
    Discoverable(network, "127.0.0.34", "Chatty").snmp.discoveryReplies = 3;
    ASSERT_EQ(kHlpOk, Find("*"));
    EXPECT_EQ(std::vector<std::string>{"Chatty"}, FoundNames());
}

TEST_F(DiscoveryTest, BroadcastListeningTime) {
    SetLookupMethods("Proprietary");
    struct Case {
        std::uint16_t timeout;
        std::uint32_t listenSeconds;
        std::size_t requests;
    } cases[] = {{0, 20, 3}, {0xFFFF, 5, 1}, {3, 3, 1}, {16, 16, 3}};
    for (const Case& c : cases) {
        fake::Network quiet;
        kvr::browse::SearchParameters params;
        params.timeoutSeconds = c.timeout;
        DeviceRecord buffer[1];
        ResultSink sink(buffer, sizeof buffer, nullptr);
        std::uint16_t found = 0;
        ASSERT_EQ(kHlpOk, FindDevices(quiet, kTransportIp, params, sink, found));
        EXPECT_EQ(c.listenSeconds, quiet.Elapsed() / 1000) << c.timeout;
        EXPECT_EQ(c.requests, quiet.SentTo(1502)) << c.timeout;
        ASSERT_FALSE(quiet.sent.empty());
        const std::uint8_t broadcast[4] = {255, 255, 255, 255};
        EXPECT_EQ(0, std::memcmp(broadcast, quiet.sent[0].to.data + 2, 4));
    }
}

// The filters come before the error status: an agent's error reply that does
// not pass them is skipped and the search goes on; one that does ends it.
TEST_F(DiscoveryTest, BroadcastReplyErrorStatus) {
    SetLookupMethods("Proprietary");
    Discoverable(network, "127.0.0.37", "Healthy");
    struct Case {
        const char* name;
        std::int32_t status;
        bool withValues;      // the reply carries the device's values, not an echo of NULLs
        std::int32_t dialOut;
        std::int32_t result;
        std::vector<std::string> found;
    } cases[] = {
        {"echo with genErr", 5, false, 3, kHlpOk, {"Healthy"}},
        {"echo with noSuchName", 2, false, 3, kHlpOk, {"Healthy"}},
        {"values that fail the filters, genErr", 5, true, 2, kHlpOk, {"Healthy"}},
        {"values that pass the filters, noSuchName", 2, true, 3, kHlpOk, {"Healthy"}},
        {"values that pass the filters, genErr", 5, true, 3, -105, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        network.responder = [&c](const fake::Sent& sent) {
            std::vector<fake::Bytes> answers;
            if (fake::PortOf(sent.to) == 1502) {
                answers.push_back(DiscoveryAnswer("Faulty", c.status, c.withValues, c.dialOut));
            }
            return answers;
        };
        EXPECT_EQ(c.result, Find("*"));
        if (c.result == kHlpOk) {
            EXPECT_EQ(c.found, FoundNames());
        }
    }
    // The simulator's own error replies echo the request.
    network.responder = nullptr;
    rasim::DeviceConfig& faulty = Discoverable(network, "127.0.0.35", "Faulty");
    faulty.snmp.forceError = true;
    faulty.snmp.errorStatus = 5;
    EXPECT_EQ(kHlpOk, Find("*"));
    EXPECT_EQ(std::vector<std::string>{"Healthy"}, FoundNames());
}

// Whatever the socket says when a request cannot go out, the code is -100.
TEST_F(DiscoveryTest, RequestThatCannotBeSentGivesMinus100) {
    network.AddDevice("127.0.0.52", "Unreachable");
    network.hosts["Unreachable"] = {127, 0, 0, 52};
    const std::uint8_t ip[4] = {127, 0, 0, 52};
    std::uint8_t target[20] = {kTransportIp};
    const ServerAddress address = IpDestination(ip, 1549);
    std::memcpy(target + 4, &address, sizeof address);
    const struct {
        const char* name;
        std::function<std::int32_t()> call;
    } operations[] = {
        {"broadcast search", [&] { SetLookupMethods("Proprietary"); return Find("*"); }},
        {"DNS search", [&] { SetLookupMethods("DNS"); return Find("Unreachable"); }},
        {"IPX search", [&] { return Find("*", "*", 3, kTransportIpx); }},
        {"one device", [&] {
             DeviceDetailRecord record;
             return FindADevice(network, target, nullptr, &record, 3, nullptr);
         }},
        {"server information", [&] {
             ServerSummary summary;
             return GetServerInfo(network, target, &summary, 3, nullptr);
         }},
        {"serial names", [&] {
             char names[4][256];
             ResultSink sink(names, sizeof names, nullptr);
             std::uint16_t found = 0;
             return GetSerialNames(network, kTransportIp, target, sink, 3, nullptr, found);
         }},
    };
    for (const std::int32_t sendError : {kHlpSocketError, kHlpNetworkDown}) {
        network.sendError = sendError;
        for (const auto& operation : operations) {
            EXPECT_EQ(kHlpUndecodable, operation.call()) << operation.name << ", send error " << sendError;
        }
    }
}

TEST_F(DiscoveryTest, StrayDatagramsOnTheDiscoveryPortAreSkipped) {
    SetLookupMethods("Proprietary");
    Discoverable(network, "127.0.0.36", "Real");
    network.responder = [](const fake::Sent&) {
        return std::vector<fake::Bytes>{{0x30, 0x82, 0xFF}, {}, {0x01, 0x02}};
    };
    ASSERT_EQ(kHlpOk, Find("*"));
    EXPECT_EQ(std::vector<std::string>{"Real"}, FoundNames());
}

TEST_F(DiscoveryTest, DeviceFileListing) {
    SetLookupMethods("DeviceFile");
    WriteDeviceFile(
        "[Old]\r\nName=Old\r\nType=Rack Unit\r\nVersion=3.1\r\nIPAddress=127.0.0.40\r\n"
        "[New]\r\nName=New\r\nType=Rack Unit\r\nVersion=4.0\r\nIPAddress=127.0.0.41\r\n"
        "[Again]\r\nName=New\r\nType=Rack Unit\r\nVersion=4.0\r\nIPAddress=127.0.0.41\r\n"
        "[Foreign]\r\nName=Foreign\r\nType=Toaster\r\nVersion=5\r\nIPAddress=127.0.0.42\r\n"
        "[NoAddress]\r\nName=NoAddress\r\nType=Remote Hub\r\nVersion=4\r\n"
        "[BadAddress]\nName=" + std::string(60, 'L') + "\nType=remote hub\nVersion=v4\nIPAddress=127.0.0.256\n");
    ASSERT_EQ(kHlpOk, Find("*"));
    const std::vector<DeviceRecord> found = Found();
    ASSERT_EQ(2u, found.size());
    EXPECT_STREQ("New", found[0].name);
    EXPECT_STREQ("RACK", found[0].typeCode);
    const std::uint8_t address[16] = {2, 0, 0x06, 0x0D, 127, 0, 0, 41};
    EXPECT_EQ(0, std::memcmp(address, found[0].address, sizeof address));
    EXPECT_EQ(std::string(47, 'L'), found[1].name);  // cut to 47 characters
    EXPECT_STREQ("remote hub", found[1].typeText);
    EXPECT_STREQ("HUB", found[1].typeCode);
    const std::uint8_t zero[16] = {2, 0, 0x06, 0x0D};
    EXPECT_EQ(0, std::memcmp(zero, found[1].address, sizeof zero));
    EXPECT_TRUE(network.sent.empty());
}

// "Ravelin/E 115" is the catalogue's "Ravelin/E" wherever a listing meets it:
// among the known servers and in the device file alike.
TEST_F(DiscoveryTest, LongRavelinTypeIsTheShortOneInEveryListing) {
    SetLookupMethods("DeviceFile");
    SetText(reg::kLookupKeyA, "Ravelin/E", "CODE=RAV / HARDWARE=15");
    AddKnownServer("Stored", "RAVELIN/E 115", "127.0.0.54");
    WriteDeviceFile("[Listed]\nName=Listed\nType=Ravelin/E 115\nVersion=4\nIPAddress=127.0.0.55\n");
    ASSERT_EQ(kHlpOk, Find("*"));
    const std::vector<DeviceRecord> found = Found();
    ASSERT_EQ(2u, found.size());
    EXPECT_STREQ("RAVELIN/E", found[0].typeText);
    EXPECT_STREQ("RAV", found[0].typeCode);
    EXPECT_STREQ("Listed", found[1].name);
    EXPECT_STREQ("Ravelin/E", found[1].typeText);
    EXPECT_STREQ("RAV", found[1].typeCode);
}

TEST_F(DiscoveryTest, SpecificSearchQueriesTheDeviceFileEntry) {
    SetLookupMethods("DeviceFile");
    network.AddDevice("127.0.0.43", "Listed");
    // The path is far longer than 32 characters.
    WriteDeviceFile("[One]\nName=Other\nIPAddress=127.0.0.44\n[Two]\nName=Listed\nIPAddress=127.0.0.43\n");
    AddKnownServer("Listed", "Rack Unit", "127.0.0.43");
    ASSERT_EQ(kHlpOk, Find("LISTED"));
    // The known server, then the device's own answer.
    ASSERT_EQ(2, count);
    EXPECT_EQ(1u, network.SentTo(161));
    EXPECT_STREQ("Listed", Found()[1].name);
}

TEST_F(DiscoveryTest, MissingDeviceFileFindsNothing) {
    SetLookupMethods("DeviceFile");
    SetText(reg::kServersKeyA, reg::kDeviceFileA, "C:\\no\\such\\devices.ini");
    EXPECT_EQ(kHlpOk, Find("*"));
    EXPECT_EQ(0, count);
}

TEST_F(DiscoveryTest, KnownServerErrors) {
    SetLookupMethods("DeviceFile Proprietary");
    AddKnownServer("Broken", nullptr, "127.0.0.45");  // no DeviceType
    EXPECT_EQ(kHlpRegistryFailure, Find("*"));
    EXPECT_EQ(0, network.broadcasts);
    // A specific search for a name that is not a known server.
    EXPECT_EQ(kHlpRegistryFailure, Find("Nobody"));
}

TEST_F(DiscoveryTest, SpecificKnownServerHonoursTheTypeFilter) {
    SetLookupMethods("DeviceFile");
    AddKnownServer("Stored", "Rack Unit", "127.0.0.20");
    EXPECT_EQ(kHlpOk, Find("Stored", "rack*"));
    EXPECT_EQ(1, count);
    EXPECT_EQ(kHlpOk, Find("Stored", "HUB"));
    EXPECT_EQ(0, count);
}

TEST_F(DiscoveryTest, SingleDeviceErrorsEndTheSearch) {
    SetLookupMethods("DNS Proprietary");
    network.AddDevice("127.0.0.46", "Old").snmp.version[0] = 3;
    network.hosts["Old"] = {127, 0, 0, 46};
    EXPECT_EQ(kHlpVersionTooOld, Find("Old"));
    EXPECT_EQ(0, network.broadcasts);
    network.AddDevice("127.0.0.47", "Rack").snmp.hardware = 9;
    network.hosts["Rack"] = {127, 0, 0, 47};
    EXPECT_EQ(kHlpWrongHardwareType, Find("Rack", "RACK"));
    network.hosts["Gone"] = {127, 0, 0, 48};
    EXPECT_EQ(kHlpNoAnswer, Find("Gone", "*", 6));
    network.hosts.clear();
    EXPECT_EQ(kHlpOk, Find("Unresolved"));  // a name that does not resolve is no error
}

TEST_F(DiscoveryTest, ResultBufferAndCallback) {
    SetLookupMethods("Proprietary");
    Discoverable(network, "127.0.0.50", "First");
    Discoverable(network, "127.0.0.51", "Second");
    kvr::browse::SearchParameters params;
    params.timeoutSeconds = 3;
    std::uint16_t found = 9;

    DeviceRecord one[1];
    ResultSink small(one, sizeof(DeviceRecord) - 1, nullptr);
    EXPECT_EQ(kHlpBufferFull, FindDevices(network, kTransportIp, params, small, found));
    EXPECT_EQ(0, found);

    ResultSink exact(one, sizeof one, nullptr);
    EXPECT_EQ(kHlpBufferFull, FindDevices(network, kTransportIp, params, exact, found));
    EXPECT_EQ(1, found);
    EXPECT_STREQ("First", one[0].name);

    ResultSink callback(nullptr, 0, [](std::uint32_t, const HlpNotice*) -> std::int32_t { return 7; });
    EXPECT_EQ(7, FindDevices(network, kTransportIp, params, callback, found));
}

TEST_F(DiscoveryTest, FindOperationArguments) {
    EXPECT_EQ(kHlpUnsupportedTransport, Find("*", "*", 3, 4));
    DeleteKey(reg::kLookupKeyA);
    SetText(std::string(reg::kLookupKeyA) + "\\HardwareTypes\\9", "Name", "Ninth");
    EXPECT_EQ(kHlpRegistryFailure, Find("*"));  // a Lookup key without a catalogue
    EXPECT_TRUE(network.sent.empty());
    EXPECT_TRUE(LoadedCatalogue().Entries().empty());  // released again
}
