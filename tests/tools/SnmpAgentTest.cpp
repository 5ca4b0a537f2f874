// The simulator's SNMP agent driven in process: requests built byte by byte,
// answers checked byte by byte and read back with the browsing library's own
// decoder and discovery reader.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "BerBytes.h"
#include "BrowseErrors.h"
#include "DeviceMib.h"
#include "SnmpAgent.h"
#include "SnmpCodec.h"

namespace {

using rasim::OidPath;
using ber::Bytes;
using ber::Tlv;
using ber::Concat;

OidPath E(std::initializer_list<std::uint32_t> tail) {
    OidPath oid{1, 3, 6, 1, 4, 1, 5821};
    oid.insert(oid.end(), tail);
    return oid;
}


Bytes OidTlv(const OidPath& oid) {
    Bytes content{static_cast<std::uint8_t>(40 * oid[0] + oid[1])};
    for (std::size_t i = 2; i < oid.size(); ++i) {
        Bytes groups;
        std::uint32_t v = oid[i];
        do {
            groups.insert(groups.begin(), static_cast<std::uint8_t>((v & 0x7F) | (groups.empty() ? 0 : 0x80)));
            v >>= 7;
        } while (v != 0);
        content.insert(content.end(), groups.begin(), groups.end());
    }
    return Tlv(0x06, content);
}

Bytes Int(std::int32_t v) {  // four bytes: requests need not be minimal
    const auto u = static_cast<std::uint32_t>(v);
    return Tlv(0x02, {static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
                      static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u)});
}

struct Ask {
    std::uint8_t pdu = snmp::kGetRequest;
    std::vector<OidPath> oids;
    std::string community = "public";
    std::int32_t requestId = 1234;
    std::int32_t version = 0;
};

Bytes Build(const Ask& a) {
    Bytes list;
    for (const auto& oid : a.oids) list = Concat({list, Tlv(0x30, Concat({OidTlv(oid), {0x05, 0x00}}))});
    const Bytes pdu = Tlv(a.pdu, Concat({Int(a.requestId), Int(0), Int(0), Tlv(0x30, list)}));
    return Tlv(0x30, Concat({Int(a.version), Tlv(0x04, Bytes(a.community.begin(), a.community.end())), pdu}));
}

const std::vector<OidPath> kDiscoveryOids = {E({1, 7, 1, 0}), E({1, 10, 1, 1, 3, 2}), E({1, 7, 3, 0}),
                                              E({4, 3, 14, 0}), E({1, 11, 11, 0})};

rasim::DeviceConfig Device() {
    rasim::DeviceConfig d;
    d.address = 0x7F000105;  // 127.0.1.5
    d.name = "DEV1";
    d.ports = {"P1", "Port2"};
    d.snmp.version[0] = 5;
    d.snmp.version[1] = 1;
    d.snmp.version[2] = 2;
    d.snmp.version[3] = 3;
    d.snmp.capability = 7;
    d.snmp.flag3 = 4;
    d.snmp.hardware = 9;
    d.snmp.portMasks = {{"p1", 1}};
    return d;
}

// The agent with its objects, answering into a frame-sized buffer.
class Agent {
public:
    explicit Agent(const rasim::DeviceConfig& device)
        : m_mib(device), m_agent(m_mib, rasim::AgentSettings::From(device.snmp)) {}

    Bytes Answer(const Bytes& request, rasim::AnswerNote* note = nullptr) const {
        Bytes out(1472);
        out.resize(m_agent.Answer(request.data(), request.size(), out.data(), out.size(), note));
        return out;
    }
    // Decoded with the library's decoder; fails the test when it cannot be.
    std::unique_ptr<snmp::Reply> Decode(const Ask& ask) const {
        m_last = Answer(Build(ask));
        auto reply = std::make_unique<snmp::Reply>();
        EXPECT_EQ(kHlpOk, snmp::DecodeReply(m_last.data(), m_last.size(), *reply));
        return reply;
    }
    const Bytes& Last() const { return m_last; }

private:
    rasim::DeviceMib m_mib;
    rasim::SnmpAgent m_agent;
    mutable Bytes m_last;
};

OidPath PathOf(const snmp::Oid& oid) { return OidPath(oid.ids, oid.ids + oid.count); }

// Walks every element and checks each length is in its shortest form and
// covers exactly its content.
void ExpectShortestLengths(const std::uint8_t* p, std::size_t n) {
    std::size_t at = 0;
    while (at < n) {
        const std::uint8_t tag = p[at++];
        ASSERT_LT(at, n);
        std::size_t length = p[at++];
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            ASSERT_TRUE(count == 1 || count == 2) << "length of " << count << " bytes";
            ASSERT_LE(at + count, n);
            length = 0;
            for (std::size_t i = 0; i < count; ++i) length = (length << 8) | p[at++];
            EXPECT_GE(length, count == 1 ? 0x80u : 0x100u) << "longer form than needed, tag " << int(tag);
        }
        ASSERT_LE(at + length, n);
        if (tag == 0x30 || (tag & 0xE0) == 0xA0) ExpectShortestLengths(p + at, length);
        if (tag == 0x02 && length > 1) {
            const bool redundant = (p[at] == 0x00 && !(p[at + 1] & 0x80)) || (p[at] == 0xFF && (p[at + 1] & 0x80));
            EXPECT_FALSE(redundant) << "integer not minimal";
        }
        at += length;
    }
}

TEST(SnmpAgent, GetAnswersEachObjectWithItsTypeAndBytes) {
    struct Row {
        const char* name;
        OidPath oid;
        std::uint8_t type;
        Bytes bytes;              // OCTET STRING, IpAddress
        std::int32_t integer = 0; // INTEGER
    };
    const Row rows[] = {
        {"version and capability", E({1, 7, 1, 0}), snmp::kOctetString, {5, 1, 2, 3, 7}},
        {"IP dial-out", E({1, 10, 1, 1, 3, 2}), snmp::kInteger, {}, 3},
        {"third flag", E({1, 10, 1, 1, 3, 3}), snmp::kInteger, {}, 4},
        {"hardware type", E({1, 7, 3, 0}), snmp::kInteger, {}, 9},
        {"own address", E({4, 3, 14, 0}), snmp::kIpAddress, {127, 0, 1, 5}},
        {"device name", E({1, 11, 11, 0}), snmp::kOctetString, {'D', 'E', 'V', '1'}},
        {"first port name", E({1, 17, 2, 1, 1, 1}), snmp::kOctetString, {'P', '1'}},
        {"second port name", E({1, 17, 2, 1, 1, 2}), snmp::kOctetString, {'P', 'o', 'r', 't', '2'}},
        {"mask given in another case", E({1, 17, 2, 1, 2, 1}), snmp::kInteger, {}, 1},
        {"default mask", E({1, 17, 2, 1, 2, 2}), snmp::kInteger, {}, 3},
    };
    const Agent agent(Device());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto reply = agent.Decode({snmp::kGetRequest, {row.oid}});
        EXPECT_EQ(0xA2, reply->pduType);
        EXPECT_EQ(1234, reply->requestId);
        EXPECT_EQ(0, reply->errorStatus);
        EXPECT_EQ(0, reply->errorIndex);
        ASSERT_EQ(1u, reply->bindingCount);
        EXPECT_EQ(row.oid, PathOf(reply->bindings[0].oid));
        const snmp::Value& v = reply->bindings[0].value;
        EXPECT_EQ(row.type, v.type);
        if (row.type == snmp::kInteger) {
            EXPECT_EQ(row.integer, v.integer);
        } else {
            EXPECT_EQ(row.bytes, Bytes(v.bytes, v.bytes + v.length));
        }
        ExpectShortestLengths(agent.Last().data(), agent.Last().size());
    }
}

TEST(SnmpAgent, IntegersTakeTheirFewestBytes) {
    struct Row {
        std::int32_t value;
        Bytes encoded;
    };
    const Row rows[] = {
        {0, {0x02, 0x01, 0x00}},          {127, {0x02, 0x01, 0x7F}},
        {128, {0x02, 0x02, 0x00, 0x80}},  {255, {0x02, 0x02, 0x00, 0xFF}},
        {256, {0x02, 0x02, 0x01, 0x00}},  {-1, {0x02, 0x01, 0xFF}},
        {-128, {0x02, 0x01, 0x80}},       {-129, {0x02, 0x02, 0xFF, 0x7F}},
        {0x7FFFFF, {0x02, 0x03, 0x7F, 0xFF, 0xFF}},
        {0x800000, {0x02, 0x04, 0x00, 0x80, 0x00, 0x00}},
        {INT32_MAX, {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
        {INT32_MIN, {0x02, 0x04, 0x80, 0x00, 0x00, 0x00}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        rasim::DeviceConfig device = Device();
        device.snmp.hardware = row.value;
        const Agent agent(device);
        const Bytes answer = agent.Answer(Build({snmp::kGetRequest, {E({1, 7, 3, 0})}}));
        ASSERT_GE(answer.size(), row.encoded.size());
        // A single binding's value ends the message.
        EXPECT_EQ(row.encoded, Bytes(answer.end() - static_cast<std::ptrdiff_t>(row.encoded.size()), answer.end()));
    }
}

TEST(SnmpAgent, EchoesTheRequestIdAndCommunity) {
    for (const std::int32_t id : {0, 1, 127, 128, -1, INT32_MAX, INT32_MIN}) {
        SCOPED_TRACE(id);
        rasim::DeviceConfig device = Device();
        device.snmp.community = "s3cret";
        const Agent agent(device);
        const auto reply = agent.Decode({snmp::kGetRequest, {E({1, 7, 3, 0})}, "s3cret", id});
        EXPECT_EQ(id, reply->requestId);
        EXPECT_EQ("s3cret", std::string(reinterpret_cast<const char*>(reply->community), reply->communityLength));
        ExpectShortestLengths(agent.Last().data(), agent.Last().size());
    }
}

// The discovery request as the library sends it (snmp::Request), answered
// with shortest-form lengths whatever the name's length, and read back by
// both the full decoder and the fixed-position discovery reader.
TEST(SnmpAgent, AnswersTheDiscoveryRequestForNamesOfEveryLength) {
    for (const std::size_t length : {1u, 19u, 29u, 30u, 47u}) {
        SCOPED_TRACE(length);
        rasim::DeviceConfig device = Device();
        device.name.clear();
        for (std::size_t i = 0; i < length; ++i) device.name.push_back(static_cast<char>('A' + i % 26));
        device.snmp.hardware = 100;
        device.snmp.ipDialOut = 3;
        const Agent agent(device);
        snmp::Request request;
        for (const auto& oid : kDiscoveryOids) {
            std::vector<std::uint16_t> ids(oid.begin(), oid.end());
            ASSERT_TRUE(request.AddBinding(ids.data(), ids.size()));
        }
        std::uint8_t buffer[snmp::kMessageBufferSize];
        std::size_t size = 0;
        ASSERT_EQ(kHlpOk, request.Encode(buffer, sizeof buffer, size));
        const Bytes answer = agent.Answer(Bytes(buffer, buffer + size));
        ASSERT_FALSE(answer.empty());
        ExpectShortestLengths(answer.data(), answer.size());

        auto reply = std::make_unique<snmp::Reply>();
        ASSERT_EQ(kHlpOk, snmp::DecodeReply(answer.data(), answer.size(), *reply));
        ASSERT_EQ(5u, reply->bindingCount);
        for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(kDiscoveryOids[i], PathOf(reply->bindings[i].oid));

        snmp::DiscoveryAnswer found;
        ASSERT_EQ(kHlpOk, snmp::ReadDiscoveryReply(answer.data(), answer.size(), found));
        EXPECT_EQ((Bytes{5, 1, 2, 3}), Bytes(found.version, found.version + 4));
        EXPECT_EQ(5, found.majorVersion);
        EXPECT_EQ(7, found.capability);
        EXPECT_EQ(3, found.dialOut);
        EXPECT_EQ(100, found.hardwareType);
        EXPECT_EQ((Bytes{127, 0, 1, 5}), Bytes(found.address, found.address + 4));
        EXPECT_EQ(device.name, std::string(found.name, found.nameLength));
    }
}

TEST(SnmpAgent, LongAnswersUseTwoByteLengths) {
    // Sixteen version objects make an answer of over 256 bytes: 0x82 nn nn.
    const Agent agent(Device());
    const auto reply = agent.Decode({snmp::kGetRequest, std::vector<OidPath>(16, E({1, 7, 1, 0}))});
    EXPECT_EQ(16u, reply->bindingCount);
    ASSERT_GT(agent.Last().size(), 256u);
    EXPECT_EQ(0x82, agent.Last()[1]);
    ExpectShortestLengths(agent.Last().data(), agent.Last().size());
}

// Each walk: GetNext from start, then from each answer, until noSuchName
// ("end") or the given number of steps.
struct Walk {
    const char* name;
    rasim::SerialTable table;
    OidPath start;
    std::vector<OidPath> expected;  // an empty path: noSuchName
};

TEST(SnmpAgent, GetNextWalksInSnmpOrder) {
    const OidPath end;
    const Walk walks[] = {
        {"newer table: column 1, then into column 2", rasim::SerialTable::kNewer, E({1, 17, 2, 1, 1}),
         {E({1, 17, 2, 1, 1, 1}), E({1, 17, 2, 1, 1, 2}), E({1, 17, 2, 1, 2, 1}), E({1, 17, 2, 1, 2, 2}),
          E({4, 3, 14, 0}), end}},
        {"newer table from the bare table entry", rasim::SerialTable::kNewer, E({1, 17, 2, 1}),
         {E({1, 17, 2, 1, 1, 1})}},
        {"older table: its one column, then past it", rasim::SerialTable::kOlder, E({1, 12, 2, 1, 1}),
         {E({1, 12, 2, 1, 1, 1}), E({1, 12, 2, 1, 1, 2}), E({4, 3, 14, 0}), end}},
        {"older form has no newer columns", rasim::SerialTable::kOlder, E({1, 17, 2, 1, 1}),
         {E({4, 3, 14, 0})}},
        {"no table", rasim::SerialTable::kNone, E({1, 12, 2, 1, 1}), {E({4, 3, 14, 0}), end}},
        {"the whole device from the enterprise arc", rasim::SerialTable::kNewer, E({}),
         {E({1, 7, 1, 0}), E({1, 7, 3, 0}), E({1, 10, 1, 1, 3, 2}), E({1, 10, 1, 1, 3, 3}), E({1, 11, 11, 0}),
          E({1, 17, 2, 1, 1, 1})}},
        {"from between two objects", rasim::SerialTable::kNewer, E({1, 10, 1, 1, 3, 2, 0}),
         {E({1, 10, 1, 1, 3, 3})}},
        {"from past every object", rasim::SerialTable::kNewer, E({5}), {end}},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(walk.name);
        rasim::DeviceConfig device = Device();
        device.snmp.serialTable = walk.table;
        const Agent agent(device);
        OidPath at = walk.start;
        for (const OidPath& want : walk.expected) {
            const auto reply = agent.Decode({snmp::kGetNextRequest, {at}});
            ASSERT_EQ(1u, reply->bindingCount);
            if (want.empty()) {
                EXPECT_EQ(2, reply->errorStatus);
                EXPECT_EQ(1, reply->errorIndex);
                EXPECT_EQ(at, PathOf(reply->bindings[0].oid)) << "the binding comes back as asked";
                break;
            }
            ASSERT_EQ(0, reply->errorStatus);
            at = PathOf(reply->bindings[0].oid);
            EXPECT_EQ(want, at);
        }
    }
}

TEST(SnmpAgent, MissingObjectsAnswerNoSuchNameAtTheirIndex) {
    struct Row {
        const char* name;
        rasim::SerialTable table;
        std::uint8_t pdu;
        std::vector<OidPath> oids;
        std::int32_t index;
    };
    const Row rows[] = {
        {"second of three unknown", rasim::SerialTable::kNewer, snmp::kGetRequest,
         {E({1, 7, 3, 0}), E({1, 7, 2, 0}), E({1, 11, 11, 0})}, 2},
        {"a column without its row", rasim::SerialTable::kNewer, snmp::kGetRequest, {E({1, 17, 2, 1, 1})}, 1},
        {"a row past the ports", rasim::SerialTable::kNewer, snmp::kGetRequest, {E({1, 17, 2, 1, 1, 3})}, 1},
        {"newer column with the older table", rasim::SerialTable::kOlder, snmp::kGetRequest,
         {E({1, 7, 3, 0}), E({1, 17, 2, 1, 2, 1})}, 2},
        {"older column with the newer table", rasim::SerialTable::kNewer, snmp::kGetRequest,
         {E({1, 12, 2, 1, 1, 1})}, 1},
        {"no table at all", rasim::SerialTable::kNone, snmp::kGetRequest, {E({1, 17, 2, 1, 1, 1})}, 1},
        {"GetNext past the end in the third binding", rasim::SerialTable::kNewer, snmp::kGetNextRequest,
         {E({1}), E({1, 7}), E({4, 3, 14, 0})}, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rasim::DeviceConfig device = Device();
        device.snmp.serialTable = row.table;
        const Agent agent(device);
        rasim::AnswerNote note;
        agent.Answer(Build({row.pdu, row.oids}), &note);
        EXPECT_EQ(rasim::AnswerResult::kNoSuchName, note.result);
        const auto reply = agent.Decode({row.pdu, row.oids});
        EXPECT_EQ(0xA2, reply->pduType);
        EXPECT_EQ(2, reply->errorStatus);
        EXPECT_EQ(row.index, reply->errorIndex);
        ASSERT_EQ(row.oids.size(), reply->bindingCount);
        for (std::size_t i = 0; i < row.oids.size(); ++i) {
            EXPECT_EQ(row.oids[i], PathOf(reply->bindings[i].oid));
            EXPECT_EQ(snmp::kNull, reply->bindings[i].value.type);
        }
    }
}

TEST(SnmpAgent, ForcedErrorStatusReachesTheDiscoveryReader) {
    for (const std::int32_t status : {1, 5, 17}) {
        SCOPED_TRACE(status);
        rasim::DeviceConfig device = Device();
        device.snmp.forceError = true;
        device.snmp.errorStatus = status;
        const Agent agent(device);
        const auto reply = agent.Decode({snmp::kGetRequest, kDiscoveryOids});
        EXPECT_EQ(status, reply->errorStatus);
        EXPECT_EQ(status == 1 ? 0 : 1, reply->errorIndex) << "tooBig names no binding";
        EXPECT_EQ(5u, reply->bindingCount);
        snmp::DiscoveryAnswer found;
        EXPECT_EQ(HlpSnmpError(status), snmp::ReadDiscoveryReply(agent.Last().data(), agent.Last().size(), found));
    }
}

TEST(SnmpAgent, StaysSilentForWhatAnAgentDoesNotAnswer) {
    struct Row {
        const char* name;
        Bytes request;
        rasim::AnswerResult result;
    };
    Ask setRequest{0xA3, {E({1, 7, 3, 0})}};
    Ask response{0xA2, {E({1, 7, 3, 0})}};
    Ask version2{snmp::kGetRequest, {E({1, 7, 3, 0})}};
    version2.version = 1;
    const Bytes good = Build({snmp::kGetRequest, {E({1, 7, 3, 0})}});
    const Row rows[] = {
        {"wrong community", Build({snmp::kGetRequest, {E({1, 7, 3, 0})}, "private"}),
         rasim::AnswerResult::kIgnoredCommunity},
        {"community in another case", Build({snmp::kGetRequest, {E({1, 7, 3, 0})}, "PUBLIC"}),
         rasim::AnswerResult::kIgnoredCommunity},
        {"empty community", Build({snmp::kGetRequest, {E({1, 7, 3, 0})}, ""}),
         rasim::AnswerResult::kIgnoredCommunity},
        {"SetRequest", Build(setRequest), rasim::AnswerResult::kIgnoredPdu},
        {"a GetResponse", Build(response), rasim::AnswerResult::kIgnoredPdu},
        {"version 2c", Build(version2), rasim::AnswerResult::kIgnoredVersion},
        {"cut short", Bytes(good.begin(), good.end() - 3), rasim::AnswerResult::kUndecodable},
        {"not BER", Bytes{'h', 'e', 'l', 'l', 'o'}, rasim::AnswerResult::kUndecodable},
        {"empty datagram", Bytes{}, rasim::AnswerResult::kUndecodable},
    };
    const Agent agent(Device());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        rasim::AnswerNote note;
        EXPECT_TRUE(agent.Answer(row.request, &note).empty());
        EXPECT_EQ(row.result, note.result);
    }
}

TEST(SnmpAgent, DescribesEachRequestForTheEventLine) {
    const Agent agent(Device());
    rasim::AnswerNote note;
    agent.Answer(Build({snmp::kGetNextRequest, {E({1, 7, 1, 0}), E({1, 7, 3, 0})}}), &note);
    EXPECT_EQ("pdu=getnext oids=2 result=ok", rasim::Describe(note));
    agent.Answer(Build({snmp::kGetRequest, {E({9})}}), &note);
    EXPECT_EQ("pdu=get oids=1 result=nosuchname", rasim::Describe(note));
    agent.Answer(Build({snmp::kGetRequest, {E({9})}, "x"}), &note);
    EXPECT_EQ("pdu=get oids=1 result=ignored-community", rasim::Describe(note));
    rasim::DeviceConfig failing = Device();
    failing.snmp.forceError = true;
    failing.snmp.errorStatus = 5;
    Agent(failing).Answer(Build({snmp::kGetRequest, {E({9})}}), &note);
    EXPECT_EQ("pdu=get oids=1 result=error-5", rasim::Describe(note));
}

TEST(SnmpAgent, AnswerTooBigForTheBufferBecomesTooBig) {
    const Bytes request = Build({snmp::kGetRequest, std::vector<OidPath>(16, E({1, 11, 11, 0}))});
    rasim::AnswerNote note;
    std::vector<std::uint8_t> out(320);  // the full answer needs 366 bytes, the request's form 303
    rasim::DeviceMib mib(Device());
    rasim::SnmpAgent small(mib, {});
    const std::size_t n = small.Answer(request.data(), request.size(), out.data(), out.size(), &note);
    ASSERT_NE(0u, n);
    EXPECT_EQ(rasim::AnswerResult::kTooBig, note.result);
    auto reply = std::make_unique<snmp::Reply>();
    ASSERT_EQ(kHlpOk, snmp::DecodeReply(out.data(), n, *reply));
    EXPECT_EQ(1, reply->errorStatus);
    EXPECT_EQ(0, reply->errorIndex);
    EXPECT_EQ(16u, reply->bindingCount);
    EXPECT_EQ(0u, small.Answer(request.data(), request.size(), out.data(), 40, &note)) << "not even tooBig fits";
}

}  // namespace
