#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "BrowseErrors.h"
#include "DiscoveryFixture.h"
#include "SapRules.h"

using namespace kvr::browse;

namespace {

// One 64-byte SAP entry.
fake::Bytes SapEntryBytes(std::uint16_t serverType, const std::string& name, std::uint16_t socket) {
    fake::Bytes entry(64, 0);
    entry[0] = static_cast<std::uint8_t>(serverType >> 8);
    entry[1] = static_cast<std::uint8_t>(serverType);
    std::memcpy(entry.data() + 2, name.data(), std::min<std::size_t>(name.size(), 48));
    const std::uint8_t network[4] = {0, 0, 0x12, 0x34};
    const std::uint8_t node[6] = {0, 0x1B, 0x21, 0x0A, 0x0B, 0x0C};
    std::memcpy(entry.data() + 50, network, 4);
    std::memcpy(entry.data() + 54, node, 6);
    entry[60] = static_cast<std::uint8_t>(socket >> 8);
    entry[61] = static_cast<std::uint8_t>(socket);
    entry[63] = 1;  // hops
    return entry;
}

fake::Bytes Response(std::initializer_list<fake::Bytes> entries) {
    fake::Bytes response = {0x00, 0x02};
    for (const fake::Bytes& entry : entries) response.insert(response.end(), entry.begin(), entry.end());
    return response;
}

// The advertised name of a named entry: device name padded with "_" to 32,
// hardware type, version, manufacturer code, "5", capability.
std::string NamedEntry(const std::string& device, const char* hardware, const char* version,
                       char maker, char marker, const char* capability) {
    std::string name = device + std::string(32 - device.size(), '_');
    name += hardware;
    name += "00";
    name += version;
    name += "0000";
    name += maker;
    name += marker;
    name += capability;
    return name;
}

std::uint16_t AskedType(const fake::Sent& sent) {
    return static_cast<std::uint16_t>(sent.bytes[2] << 8 | sent.bytes[3]);
}

}  // namespace

class SapSearchTest : public DiscoveryTest {
protected:
    // Answers each SAP query with the entries scripted for its server type.
    void Answer(std::uint16_t serverType, fake::Bytes response) {
        m_responses[serverType].push_back(std::move(response));
        network.responder = [this](const fake::Sent& sent) {
            if (sent.bytes.size() != 4) return std::vector<fake::Bytes>{};
            return m_responses[AskedType(sent)];
        };
    }

    std::int32_t FindIpx(const char* pattern, const char* filter = "*",
                         const std::uint32_t* versionFilter = nullptr) {
        return Find(pattern, filter, 3, kTransportIpx, versionFilter);
    }

private:
    std::map<std::uint16_t, std::vector<fake::Bytes>> m_responses;
};

TEST_F(SapSearchTest, AsksForEveryCatalogueTypeInOrder) {
    ASSERT_EQ(kHlpOk, FindIpx("*"));
    std::vector<std::uint16_t> asked;
    for (const fake::Sent& sent : network.sent) {
        ASSERT_EQ(4u, sent.bytes.size());
        EXPECT_EQ(0x00, sent.bytes[0]);
        EXPECT_EQ(0x01, sent.bytes[1]);
        asked.push_back(AskedType(sent));
    }
    // Catalogue order ("Rack Unit", "Remote Hub"), each entry's types in order.
    EXPECT_EQ((std::vector<std::uint16_t>{0x0479, 0x047A, 0x01CE}), asked);
    EXPECT_EQ(kTransportIpx, network.sent[0].to.family);
    const std::uint8_t destination[12] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x04, 0x52};
    EXPECT_EQ(0, std::memcmp(destination, network.sent[0].to.data, sizeof destination));
    // No answers: each type waits for the whole time-out.
    EXPECT_EQ(9u, network.Elapsed() / 1000);
}

TEST_F(SapSearchTest, TypeFilterAsksForTheFirstTypeOfItsEntry) {
    ASSERT_EQ(kHlpOk, FindIpx("*", "rack"));
    ASSERT_EQ(1u, network.sent.size());
    EXPECT_EQ(0x0479, AskedType(network.sent[0]));
    EXPECT_EQ(kHlpUnknownDeviceType, FindIpx("*", "TOASTER"));
}

TEST_F(SapSearchTest, GeneralRuleRecords) {
    Answer(0x0479, Response({SapEntryBytes(0x0479, "RackOne", 0x4004)}));
    ASSERT_EQ(kHlpOk, FindIpx("*", "RACK"));
    ASSERT_EQ(1, count);
    const DeviceRecord record = Found()[0];
    EXPECT_EQ(kTransportIpx, record.transport);
    EXPECT_STREQ("RackOne", record.name);
    EXPECT_STREQ("Rack Unit", record.typeText);
    EXPECT_STREQ("RACK", record.typeCode);
    const std::uint8_t address[14] = {0x79, 0x04, 0, 0, 0x12, 0x34, 0, 0x1B, 0x21, 0x0A, 0x0B, 0x0C, 0x40, 0x04};
    EXPECT_EQ(0, std::memcmp(address, record.address, sizeof address));
    // One second of silence after the answer ends the collection.
    EXPECT_EQ(1u, network.Elapsed() / 1000);
}

TEST_F(SapSearchTest, GeneralRuleFilters) {
    const std::uint32_t four = 4;
    const std::uint32_t three = 3;
    struct Case {
        const char* pattern;
        const std::uint32_t* versionFilter;
        std::uint16_t socket;
        bool kept;
    } cases[] = {
        {"*", nullptr, 0x829D, false},  // another service's socket
        {"*", nullptr, 0x829E, false},
        {"*", nullptr, 0x4003, true},
        {"*", &four, 0x4003, false},  // bytes 0x40 0x03 read swapped: 0x0340
        {"*", &four, 0x4004, true},
        {"*", &three, 0x4003, true},  // only the value 4 filters
        {"rack*", &four, 0x4003, true},  // a specific search asks no version
        {"RACKONE", nullptr, 0x4004, true},
        {"Rack", nullptr, 0x4004, false},
        {"RackOne", nullptr, 0x829D, false},
    };
    for (const Case& c : cases) {
        fake::Network fresh;
        fresh.responder = [&](const fake::Sent&) {
            return std::vector<fake::Bytes>{Response({SapEntryBytes(0x0479, "RackOne", c.socket)})};
        };
        kvr::browse::SearchParameters params;
        params.namePattern = c.pattern;
        params.typeFilter = "RACK";
        params.timeoutSeconds = 3;
        params.ipxVersionFilter = c.versionFilter;
        DeviceRecord buffer[2];
        ResultSink sink(buffer, sizeof buffer, nullptr);
        std::uint16_t found = 0;
        ASSERT_EQ(kHlpOk, FindDevices(fresh, kTransportIpx, params, sink, found));
        EXPECT_EQ(c.kept ? 1 : 0, found) << c.pattern << " socket " << std::hex << c.socket;
    }
}

TEST_F(SapSearchTest, NameRuleForTheNamedType) {
    const std::uint32_t four = 4;
    const std::uint32_t five = 5;
    struct Case {
        const char* pattern;
        std::string name;
        const std::uint32_t* versionFilter;
        const char* expectName;  // null: skipped
        const char* expectType;
    } cases[] = {
        {"*", NamedEntry("Hub7", "0E", "04", 'Q', '5', "02"), &four, "Hub7", "Hub Model"},
        {"*", NamedEntry("Hub7", "09", "04", 'Q', '5', "03"), nullptr, "Hub7", "Ninth Model"},
        {"*", NamedEntry("Hub7", "0E", "04", 'Q', '4', "02"), nullptr, nullptr, nullptr},  // not "5"
        {"*", NamedEntry("Hub7", "00", "04", 'Q', '5', "02"), nullptr, nullptr, nullptr},  // type 0
        {"*", NamedEntry("Hub7", "0E", "04", 'X', '5', "02"), nullptr, nullptr, nullptr},  // no maker
        {"*", NamedEntry("Hub7", "0E", "04", 'Q', '5', "01"), nullptr, nullptr, nullptr},  // not listed
        {"*", NamedEntry("Hub7", "21", "04", 'Q', '5', "02"), nullptr, nullptr, nullptr},  // no name
        {"*", NamedEntry("Hub7", "0E", "04", 'Q', '5', "02"), &five, nullptr, nullptr},  // too old
        {"*", NamedEntry("Hub7", "0E", "0G", 'Q', '5', "02"), nullptr, "Hub7", "Hub Model"},
        {"*", NamedEntry("Hub7", "0E", "0G", 'Q', '5', "02"), &four, nullptr, nullptr},  // unreadable
        {"hub7", NamedEntry("Hub7", "0E", "01", 'Q', '5', "02"), &five, "Hub7", "Hub Model"},
        {"Hub", NamedEntry("Hub7", "0E", "04", 'Q', '5', "02"), nullptr, nullptr, nullptr},
        {"Hub_*", NamedEntry("Hub_A", "0E", "04", 'Q', '5', "02"), nullptr, "Hub_A", "Hub Model"},
    };
    for (const Case& c : cases) {
        fake::Network fresh;
        fresh.responder = [&](const fake::Sent& sent) {
            if (AskedType(sent) != 0x01CE) return std::vector<fake::Bytes>{};
            return std::vector<fake::Bytes>{Response({SapEntryBytes(0x01CE, c.name, 0x4006)})};
        };
        kvr::browse::SearchParameters params;
        params.namePattern = c.pattern;
        params.timeoutSeconds = 1;
        params.ipxVersionFilter = c.versionFilter;
        DeviceRecord buffer[2];
        ResultSink sink(buffer, sizeof buffer, nullptr);
        std::uint16_t found = 0;
        ASSERT_EQ(kHlpOk, FindDevices(fresh, kTransportIpx, params, sink, found));
        ASSERT_EQ(c.expectName ? 1 : 0, found) << c.pattern << " " << c.name;
        if (!c.expectName) continue;
        EXPECT_STREQ(c.expectName, buffer[0].name);
        EXPECT_STREQ(c.expectType, buffer[0].typeText);
        EXPECT_STREQ("", buffer[0].typeCode);
    }
}

TEST_F(SapSearchTest, SeveralResponsesAndTruncatedEntries) {
    fake::Bytes cut = Response({SapEntryBytes(0x0479, "Third", 0x4004)});
    cut.resize(cut.size() - 1);  // an entry short of 64 bytes is not read
    Answer(0x0479, Response({SapEntryBytes(0x0479, "First", 0x4004), SapEntryBytes(0x0479, "Second", 0x4004)}));
    Answer(0x0479, cut);
    Answer(0x0479, fake::Bytes{0x00});
    ASSERT_EQ(kHlpOk, FindIpx("*", "RACK"));
    EXPECT_EQ((std::vector<std::string>{"First", "Second"}), FoundNames());
}

TEST_F(SapSearchTest, EmptyCatalogueAsksNothing) {
    DeleteKey(reg::kLookupKeyA);
    EXPECT_EQ(kHlpOk, FindIpx("*"));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, network.opens);
}

TEST_F(SapSearchTest, SocketFailureIsReported) {
    network.openError = kHlpSocketError;  // no IPX on this machine
    EXPECT_EQ(kHlpSocketError, FindIpx("*"));
}
