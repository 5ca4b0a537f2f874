#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "BerBytes.h"
#include "BrowseErrors.h"
#include "SnmpCodec.h"

using ber::Bytes;
using ber::Concat;
using ber::OidContent;
using ber::Text;
using ber::Tlv;
using ber::TlvLong;

namespace {

const Bytes kZero = {0x02, 0x01, 0x00};

Bytes Message(const Bytes& bindings, const Bytes& status = kZero, const Bytes& community = Text("public"),
              std::uint8_t pduTag = 0xA2) {
    return Tlv(0x30, Concat({kZero, Tlv(0x04, community),
                             Tlv(pduTag, Concat({kZero, status, kZero, Tlv(0x30, bindings)}))}));
}

Bytes Binding(const Bytes& oidContent, const Bytes& value) {
    return Tlv(0x30, Concat({Tlv(0x06, oidContent), value}));
}

const Bytes kSysDescr = {0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x00};
const Bytes kNullValue = {0x05, 0x00};

// The five discovery objects, under 1.3.6.1.4.1.5821.
template <std::size_t N>
std::vector<std::uint16_t> Ids(const std::uint16_t (&ids)[N]) {
    return {ids, ids + N};
}

const std::vector<std::vector<std::uint16_t>> kDiscoveryOids = {
    Ids(snmp::kVersionOid), Ids(snmp::kIpDialOutOid), Ids(snmp::kHardwareTypeOid), Ids(snmp::kOwnAddressOid),
    Ids(snmp::kDeviceNameOid)};

// The five bindings of a device's answer to the discovery request.
Bytes DiscoveryBindings(const std::string& name) {
    const Bytes values[] = {
        Tlv(0x04, {4, 1, 2, 3, 0x21}),  // version 4.1.2.3, capability 0x21
        Tlv(0x02, {3}),
        Tlv(0x02, {0xF6}),              // hardware type -10
        Tlv(0x40, {127, 0, 0, 9}),
        Tlv(0x04, Text(name)),
    };
    Bytes bindings;
    for (std::size_t i = 0; i < 5; ++i) {
        bindings = Concat({bindings, Binding(OidContent(kDiscoveryOids[i]), values[i])});
    }
    return bindings;
}

Bytes DiscoveryReply(const std::string& name, const Bytes& status = kZero,
                     const Bytes& community = Text("public")) {
    return Message(DiscoveryBindings(name), status, community);
}

Bytes Encode(const snmp::Request& request, std::int32_t expectedResult = kHlpOk) {
    std::uint8_t buf[snmp::kMessageBufferSize];
    std::size_t length = 99;
    EXPECT_EQ(request.Encode(buf, sizeof(buf), length), expectedResult);
    return Bytes(buf, buf + length);
}

// Values that point into the bytes are gone with the copy: only for results.
std::int32_t Decode(const Bytes& bytes, snmp::Reply& reply) {
    // An exactly sized copy, so a read past the end leaves the allocation.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    return snmp::DecodeReply(copy.get(), bytes.size(), reply);
}

TEST(SnmpEncoding, LengthsTakeTheShortestForm) {
    struct Case {
        std::size_t length;
        Bytes expected;
    } const cases[] = {
        {0, {0x00}}, {127, {0x7F}}, {128, {0x81, 0x80}}, {200, {0x81, 0xC8}},
        {255, {0x81, 0xFF}}, {256, {0x82, 0x01, 0x00}}, {300, {0x82, 0x01, 0x2C}},
    };
    for (const Case& c : cases) {
        std::uint8_t buf[4] = {};
        const std::size_t n = snmp::EncodeLength(c.length, buf, sizeof(buf));
        EXPECT_EQ(Bytes(buf, buf + n), c.expected) << c.length;
        EXPECT_EQ(snmp::EncodeLength(c.length, buf, c.expected.size() - 1), 0u) << c.length;
    }
}

TEST(SnmpEncoding, IntegersKeepTheirSignInTheFewestBytes) {
    struct Case {
        std::int32_t value;
        Bytes expected;
    } const cases[] = {
        {0, {0x02, 0x01, 0x00}},
        {127, {0x02, 0x01, 0x7F}},
        {128, {0x02, 0x02, 0x00, 0x80}},
        {256, {0x02, 0x02, 0x01, 0x00}},
        {-1, {0x02, 0x01, 0xFF}},
        {-128, {0x02, 0x01, 0x80}},
        {-129, {0x02, 0x02, 0xFF, 0x7F}},
        {0x800000, {0x02, 0x04, 0x00, 0x80, 0x00, 0x00}},
        {std::numeric_limits<std::int32_t>::max(), {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
        {std::numeric_limits<std::int32_t>::min(), {0x02, 0x04, 0x80, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        std::uint8_t buf[8] = {};
        const std::size_t n = snmp::EncodeInteger(c.value, buf, sizeof(buf));
        EXPECT_EQ(Bytes(buf, buf + n), c.expected) << c.value;
        EXPECT_EQ(snmp::EncodeInteger(c.value, buf, c.expected.size() - 1), 0u) << c.value;
    }
}

TEST(SnmpEncoding, DiscoveryRequestWithOneByteLengths) {
    snmp::Request request;
    for (const auto& oid : kDiscoveryOids) ASSERT_TRUE(request.AddBinding(oid.data(), oid.size()));
    const Bytes expected = {
        0x30, 0x6F,                                        // message, 111 bytes
        0x02, 0x01, 0x00,                                  // version 1
        0x04, 0x06, 'p', 'u', 'b', 'l', 'i', 'c',          // community
        0xA0, 0x62,                                        // GetRequest, 98 bytes
        0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00,
        0x30, 0x57,                                        // bindings, 87 bytes
        0x30, 0x0F, 0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xAD, 0x3D, 0x01, 0x07, 0x01, 0x00, 0x05, 0x00,
        0x30, 0x11, 0x06, 0x0D, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xAD, 0x3D, 0x01, 0x0A, 0x01, 0x01, 0x03, 0x02,
        0x05, 0x00,
        0x30, 0x0F, 0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xAD, 0x3D, 0x01, 0x07, 0x03, 0x00, 0x05, 0x00,
        0x30, 0x0F, 0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xAD, 0x3D, 0x04, 0x03, 0x0E, 0x00, 0x05, 0x00,
        0x30, 0x0F, 0x06, 0x0B, 0x2B, 0x06, 0x01, 0x04, 0x01, 0xAD, 0x3D, 0x01, 0x0B, 0x0B, 0x00, 0x05, 0x00,
    };
    EXPECT_EQ(Encode(request), expected);
}

TEST(SnmpEncoding, GetNextRequestAndCommunity) {
    const std::uint16_t oid[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
    snmp::Request request(snmp::kGetNextRequest);
    ASSERT_TRUE(request.SetCommunity("xy", 2));
    ASSERT_TRUE(request.AddBinding(oid, 9));
    const Bytes expected = Tlv(0x30, Concat({kZero, Tlv(0x04, Text("xy")),
                                             Tlv(0xA1, Concat({kZero, kZero, kZero,
                                                               Tlv(0x30, Binding(kSysDescr, kNullValue))}))}));
    EXPECT_EQ(Encode(request), expected);
}

// A request that needs long lengths reads back through the decoder.
TEST(SnmpEncoding, LongRequestRoundTrips) {
    std::vector<std::uint16_t> oid(snmp::kMaxSubIds, 0xFFFF);
    oid[0] = 1;
    oid[1] = 3;
    snmp::Request request;
    ASSERT_TRUE(request.AddBinding(oid.data(), oid.size()));
    ASSERT_TRUE(request.AddBinding(oid.data(), oid.size()));
    const Bytes bytes = Encode(request);
    ASSERT_GT(bytes.size(), 256u);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 2), (Bytes{0x30, 0x82}));

    auto reply = std::make_unique<snmp::Reply>();
    ASSERT_EQ(Decode(bytes, *reply), kHlpOk);
    EXPECT_EQ(reply->pduType, snmp::kGetRequest);
    ASSERT_EQ(reply->bindingCount, 2u);
    for (std::size_t b = 0; b < 2; ++b) {
        EXPECT_EQ(reply->bindings[b].value.type, snmp::kNull);
        ASSERT_EQ(reply->bindings[b].oid.count, oid.size());
        EXPECT_EQ(std::vector<std::uint16_t>(reply->bindings[b].oid.ids, reply->bindings[b].oid.ids + oid.size()),
                  oid);
    }
}

TEST(SnmpEncoding, RefusedInputFailsTheEncoding) {
    const std::uint16_t oid[] = {1, 3, 6, 1};
    const std::string community70(70, 'c');
    const std::vector<std::uint16_t> big(snmp::kMaxSubIds, 0xFFFF);
    struct Case {
        const char* name;
        void (*prepare)(snmp::Request&, const std::uint16_t*, const std::string&, const std::vector<std::uint16_t>&);
    } const cases[] = {
        {"community of 70", [](snmp::Request& r, const std::uint16_t*, const std::string& c70,
                               const std::vector<std::uint16_t>&) { EXPECT_FALSE(r.SetCommunity(c70.data(), 70)); }},
        {"PDU type other than Get/GetNext",
         [](snmp::Request& r, const std::uint16_t*, const std::string&, const std::vector<std::uint16_t>&) {
             EXPECT_FALSE(r.SetPduType(0xA3));
         }},
        {"value other than NULL",
         [](snmp::Request& r, const std::uint16_t* o, const std::string&, const std::vector<std::uint16_t>&) {
             EXPECT_TRUE(r.AddBinding(o, 4, snmp::kInteger));
         }},
        {"65 sub-identifiers",
         [](snmp::Request& r, const std::uint16_t*, const std::string&, const std::vector<std::uint16_t>& b) {
             std::vector<std::uint16_t> ids(b);
             ids.push_back(1);
             EXPECT_FALSE(r.AddBinding(ids.data(), ids.size()));
         }},
        {"one sub-identifier",
         [](snmp::Request& r, const std::uint16_t* o, const std::string&, const std::vector<std::uint16_t>&) {
             EXPECT_FALSE(r.AddBinding(o, 1));
         }},
        {"more than 512 bytes",
         [](snmp::Request& r, const std::uint16_t*, const std::string&, const std::vector<std::uint16_t>& b) {
             for (int i = 0; i < 3; ++i) EXPECT_TRUE(r.AddBinding(b.data(), b.size()));
         }},
        {"too many bindings",
         [](snmp::Request& r, const std::uint16_t* o, const std::string&, const std::vector<std::uint16_t>&) {
             for (std::size_t i = 1; i < snmp::kMaxRequestBindings; ++i) EXPECT_TRUE(r.AddBinding(o, 4));
             EXPECT_FALSE(r.AddBinding(o, 4));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        snmp::Request request;
        ASSERT_TRUE(request.AddBinding(oid, 4));
        c.prepare(request, oid, community70, big);
        EXPECT_TRUE(Encode(request, kHlpUnencodable).empty());
        // Reset clears the refusal.
        request.Reset(snmp::kGetRequest);
        ASSERT_TRUE(request.AddBinding(oid, 4));
        EXPECT_FALSE(Encode(request).empty());
    }
}

TEST(SnmpEncoding, FullBufferFailsTheEncoding) {
    const std::uint16_t oid[] = {1, 3, 6, 1};
    snmp::Request request;
    ASSERT_TRUE(request.AddBinding(oid, 4));
    const Bytes full = Encode(request);
    std::uint8_t buf[snmp::kMessageBufferSize];
    std::size_t length = 99;
    EXPECT_EQ(request.Encode(buf, full.size() - 1, length), kHlpUnencodable);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(request.Encode(buf, full.size(), length), kHlpOk);
    EXPECT_EQ(Bytes(buf, buf + length), full);
}

class SnmpDecoding : public ::testing::Test {
protected:
    std::unique_ptr<snmp::Reply> reply_ = std::make_unique<snmp::Reply>();
};

TEST_F(SnmpDecoding, EveryValueType) {
    const Bytes bindings = Concat({
        Binding(kSysDescr, {0x02, 0x01, 0xFE}),
        Binding(kSysDescr, {0x41, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
        Binding(kSysDescr, {0x42, 0x02, 0x01, 0x00}),
        Binding(kSysDescr, {0x43, 0x04, 0x80, 0x00, 0x00, 0x00}),
        Binding(kSysDescr, Tlv(0x04, Text("abc"))),
        Binding(kSysDescr, {0x40, 0x04, 127, 0, 0, 1}),
        Binding(kSysDescr, {0x44, 0x02, 0xAA, 0xBB}),
        Binding(kSysDescr, kNullValue),
        Binding(kSysDescr, {0x06, 0x04, 0x2B, 0x06, 0x83, 0x7F}),
    });
    const Bytes message = Message(bindings, {0x02, 0x01, 0x00}, Text("community"), 0xA2);
    ASSERT_EQ(snmp::DecodeReply(message.data(), message.size(), *reply_), kHlpOk);
    EXPECT_EQ(reply_->pduType, 0xA2);
    EXPECT_EQ(std::string(reply_->community, reply_->community + reply_->communityLength), "community");
    EXPECT_EQ(snmp::ReplyResult(*reply_), kHlpOk);
    ASSERT_EQ(reply_->bindingCount, 9u);

    const snmp::VarBinding* b = reply_->bindings;
    EXPECT_EQ(std::vector<std::uint16_t>(b[0].oid.ids, b[0].oid.ids + b[0].oid.count),
              (std::vector<std::uint16_t>{1, 3, 6, 1, 2, 1, 1, 1, 0}));
    EXPECT_EQ(b[0].value.type, snmp::kInteger);
    EXPECT_EQ(b[0].value.integer, -2);
    EXPECT_EQ(b[1].value.type, snmp::kCounter);
    EXPECT_EQ(static_cast<std::uint32_t>(b[1].value.integer), 0xFFFFFFFFu);
    EXPECT_EQ(b[2].value.integer, 256);
    EXPECT_EQ(b[3].value.type, snmp::kTimeTicks);
    EXPECT_EQ(b[3].value.integer, std::numeric_limits<std::int32_t>::min());
    const auto bytesOf = [](const snmp::Value& v) { return Bytes(v.bytes, v.bytes + v.length); };
    EXPECT_EQ(b[4].value.type, snmp::kOctetString);
    EXPECT_EQ(bytesOf(b[4].value), Text("abc"));
    EXPECT_EQ(b[5].value.type, snmp::kIpAddress);
    EXPECT_EQ(bytesOf(b[5].value), (Bytes{127, 0, 0, 1}));
    EXPECT_EQ(b[6].value.type, snmp::kOpaque);
    EXPECT_EQ(bytesOf(b[6].value), (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(b[7].value.type, snmp::kNull);
    EXPECT_EQ(b[8].value.type, snmp::kObjectId);
    EXPECT_EQ(std::vector<std::uint16_t>(b[8].value.oid.ids, b[8].value.oid.ids + b[8].value.oid.count),
              (std::vector<std::uint16_t>{1, 3, 6, 511}));
}

TEST_F(SnmpDecoding, LimitsThatStillDecode) {
    Bytes oid64 = {0x2B};
    oid64.resize(63, 0x01);  // 2 + 62 sub-identifiers
    const struct {
        const char* name;
        Bytes message;
    } cases[] = {
        {"sub-identifier 65535", Message(Binding({0x2B, 0x83, 0xFF, 0x7F}, kNullValue))},
        {"64 sub-identifiers", Message(Binding(oid64, kNullValue))},
        {"community of 128 bytes", Message(Binding(kSysDescr, kNullValue), kZero, Bytes(128, 'c'))},
        {"no bindings", Message({})},
        {"bytes after the message", Concat({Message(Binding(kSysDescr, kNullValue)), {0xFF, 0xFF}})},
        {"four length bytes", {0x30, 0x84, 0x00, 0x00, 0x00, 0x12, 0x02, 0x01, 0x00, 0x04, 0x00, 0xA2, 0x0B,
                               0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x00}},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.message, *reply_), kHlpOk) << c.name;
}

TEST_F(SnmpDecoding, FirstSubIdentifierHoldsTwoArcs) {
    const struct {
        Bytes content;
        std::uint16_t first;
        std::uint16_t second;
    } cases[] = {
        {{0x2B}, 1, 3}, {{0x4F}, 1, 39}, {{0x50}, 2, 0}, {{0x81, 0x34}, 2, 100},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Decode(Message(Binding(c.content, kNullValue)), *reply_), kHlpOk);
        const snmp::Oid& oid = reply_->bindings[0].oid;
        ASSERT_EQ(2u, oid.count);
        EXPECT_EQ(c.first, oid.ids[0]);
        EXPECT_EQ(c.second, oid.ids[1]);
    }
}

TEST_F(SnmpDecoding, RejectsMalformedReplies) {
    Bytes oid65 = {0x2B};
    oid65.resize(64, 0x01);  // 2 + 63 sub-identifiers
    const Bytes good = Message(Binding(kSysDescr, kNullValue));
    Bytes pastEnd = good;
    pastEnd[1] += 1;
    Bytes valuePastBinding = Message(Tlv(0x30, Concat({Tlv(0x06, kSysDescr), {0x04, 0x05, 'a'}})));
    const struct {
        const char* name;
        Bytes message;
    } cases[] = {
        {"sub-identifier 70000", Message(Binding({0x2B, 0x84, 0xA2, 0x70}, kNullValue))},
        {"first sub-identifiers above 65535", Message(Binding({0x84, 0xA2, 0x70}, kNullValue))},
        {"65 sub-identifiers", Message(Binding(oid65, kNullValue))},
        {"identifier cut inside a sub-identifier", Message(Binding({0x2B, 0x86}, kNullValue))},
        {"empty identifier", Message(Binding({}, kNullValue))},
        {"Counter64 value", Message(Binding(kSysDescr, {0x46, 0x01, 0x01}))},
        {"NULL with content", Message(Binding(kSysDescr, {0x05, 0x01, 0x00}))},
        {"unknown value tag", Message(Binding(kSysDescr, {0x80, 0x00}))},
        {"INTEGER of 5 bytes", Message(Binding(kSysDescr, {0x02, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}))},
        {"INTEGER of 0 bytes", Message(Binding(kSysDescr, {0x02, 0x00}))},
        {"Gauge of 5 bytes not led by 0", Message(Binding(kSysDescr, {0x42, 0x05, 0x01, 0, 0, 0, 0}))},
        {"request-id of 5 bytes", Tlv(0x30, Concat({kZero, Tlv(0x04, {}),
                                                    Tlv(0xA2, Concat({{0x02, 0x05, 0, 0, 0, 0, 1}, kZero, kZero,
                                                                      Tlv(0x30, {})}))}))},
        {"indefinite length", Concat({{0x30, 0x80}, Bytes(good.begin() + 2, good.end()), {0x00, 0x00}})},
        {"five length bytes", Concat({{0x30, 0x85, 0, 0, 0, 0, static_cast<std::uint8_t>(good.size() - 2)},
                                      Bytes(good.begin() + 2, good.end())})},
        {"message length past the end", pastEnd},
        {"value length past its binding", valuePastBinding},
        {"high-tag-number PDU", Tlv(0x30, Concat({kZero, Tlv(0x04, {}), {0xBF, 0x01, 0x0B},
                                                  kZero, kZero, kZero, Tlv(0x30, {})}))},
        {"community of 129 bytes", Message(Binding(kSysDescr, kNullValue), kZero, Bytes(129, 'c'))},
        {"community not OCTET STRING", Tlv(0x30, Concat({kZero, {0x02, 0x01, 0x01}, Tlv(0xA2, Concat({
                                                   kZero, kZero, kZero, Tlv(0x30, {})}))}))},
        {"message not a SEQUENCE", Concat({{0x31}, Bytes(good.begin() + 1, good.end())})},
        {"bindings list not a SEQUENCE", Tlv(0x30, Concat({kZero, Tlv(0x04, {}), Tlv(0xA2, Concat({
                                                     kZero, kZero, kZero, Tlv(0x31, {})}))}))},
        {"binding not a SEQUENCE", Message(Tlv(0x31, Concat({Tlv(0x06, kSysDescr), kNullValue})))},
        {"binding without an identifier", Message(Tlv(0x30, Concat({Tlv(0x04, kSysDescr), kNullValue})))},
        {"binding without a value", Message(Tlv(0x30, Tlv(0x06, kSysDescr)))},
        {"binding with a third element", Message(Tlv(0x30, Concat({Tlv(0x06, kSysDescr), kNullValue, kNullValue})))},
        {"empty input", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Decode(c.message, *reply_), kHlpUndecodable) << c.name;
    EXPECT_EQ(snmp::DecodeReply(nullptr, 10, *reply_), kHlpUndecodable);
}

TEST_F(SnmpDecoding, ErrorStatusGivesMinus100MinusStatus) {
    const struct {
        Bytes status;
        std::int32_t expected;
    } cases[] = {
        {{0x02, 0x01, 0x00}, kHlpOk},
        {{0x02, 0x01, 0x02}, -102},
        {{0x02, 0x01, 0x05}, -105},
        {{0x02, 0x02, 0x00, 0x05}, -105},  // in two bytes
        {{0x02, 0x01, 0x9C}, kHlpUndecodable},  // -100 must not read as success
        {{0x02, 0x01, 0xFF}, kHlpUndecodable},
        {{0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}, kHlpUndecodable},  // -100 - n would overflow
    };
    for (const auto& c : cases) {
        const Bytes message = DiscoveryReply("dev", c.status);
        ASSERT_EQ(Decode(message, *reply_), kHlpOk);
        EXPECT_EQ(snmp::ReplyResult(*reply_), c.expected) << int(c.status.back());
        snmp::DiscoveryAnswer answer;
        EXPECT_EQ(snmp::ReadDiscoveryReply(message.data(), message.size(), answer), c.expected)
            << int(c.status.back());
    }
}

// The fast reader must agree with the full decoder for every name length a
// device may report, across the points where the message, the PDU and the
// bindings list take the long length form.
TEST_F(SnmpDecoding, DiscoveryReaderAgreesWithTheDecoder) {
    const std::string communities[] = {"public", "", std::string(100, 'q')};
    for (const std::string& community : communities) {
        for (std::size_t n = 0; n <= snmp::kMaxDeviceName; ++n) {
            const std::string name(n, static_cast<char>('A' + n % 26));
            SCOPED_TRACE("name length " + std::to_string(n) + ", community length " +
                         std::to_string(community.size()));
            const Bytes message = DiscoveryReply(name, kZero, Text(community));
            ASSERT_EQ(snmp::DecodeReply(message.data(), message.size(), *reply_), kHlpOk);
            ASSERT_EQ(reply_->bindingCount, 5u);
            const snmp::VarBinding* b = reply_->bindings;

            snmp::DiscoveryAnswer answer;
            ASSERT_EQ(snmp::ReadDiscoveryReply(message.data(), message.size(), answer), kHlpOk);
            EXPECT_EQ(Bytes(answer.version, answer.version + 4), Bytes(b[0].value.bytes, b[0].value.bytes + 4));
            EXPECT_EQ(answer.majorVersion, 4);
            EXPECT_EQ(answer.capability, b[0].value.bytes[4]);
            EXPECT_EQ(answer.dialOut, b[1].value.integer);
            EXPECT_EQ(answer.hardwareType, b[2].value.integer);
            EXPECT_EQ(Bytes(answer.address, answer.address + 4), Bytes(b[3].value.bytes, b[3].value.bytes + 4));
            EXPECT_EQ(std::string(answer.name, answer.nameLength),
                      std::string(b[4].value.bytes, b[4].value.bytes + b[4].value.length));
            EXPECT_EQ(std::strlen(answer.name), n);
        }
    }
}

TEST_F(SnmpDecoding, DiscoveryReaderAtTheLengthFormBoundaries) {
    const struct {
        std::size_t nameLength;
        Bytes start;  // message tag and length, as the agent writes them
        std::uint8_t pduLengthByte;
        std::uint8_t listLengthByte;
    } cases[] = {
        {1, {0x30, 0x7B}, 0x6E, 0x63},
        {19, {0x30, 0x81, 0x8E}, 0x81, 0x75},
        {30, {0x30, 0x81, 0x9A}, 0x81, 0x81},
        {47, {0x30, 0x81, 0xAB}, 0x81, 0x81},
    };
    for (const auto& c : cases) {
        const std::string name(c.nameLength, 'n');
        const Bytes message = DiscoveryReply(name);
        SCOPED_TRACE(c.nameLength);
        EXPECT_EQ(Bytes(message.begin(), message.begin() + c.start.size()), c.start);
        const std::size_t pdu = c.start.size() + 3 + 8;
        EXPECT_EQ(message[pdu], 0xA2);
        EXPECT_EQ(message[pdu + 1], c.pduLengthByte);
        const std::size_t list = pdu + (c.pduLengthByte == 0x81 ? 3 : 2) + 9;
        EXPECT_EQ(message[list], 0x30);
        EXPECT_EQ(message[list + 1], c.listLengthByte);
        snmp::DiscoveryAnswer answer;
        ASSERT_EQ(snmp::ReadDiscoveryReply(message.data(), message.size(), answer), kHlpOk);
        EXPECT_EQ(std::string(answer.name), name);
        EXPECT_EQ(answer.dialOut, 3);
        EXPECT_EQ(answer.hardwareType, -10);
        EXPECT_EQ(Bytes(answer.address, answer.address + 4), (Bytes{127, 0, 0, 9}));
        EXPECT_EQ(answer.capability, 0x21);
    }
}

TEST_F(SnmpDecoding, DiscoveryReaderTakesAtMost47Characters) {
    const Bytes message = DiscoveryReply(std::string(60, 'x'));
    snmp::DiscoveryAnswer answer;
    ASSERT_EQ(snmp::ReadDiscoveryReply(message.data(), message.size(), answer), kHlpOk);
    EXPECT_EQ(std::string(answer.name), std::string(47, 'x'));
}

TEST_F(SnmpDecoding, DiscoveryReaderRejectsOtherLayouts) {
    const Bytes good = DiscoveryReply("dev");
    const std::size_t b = good.size() - (98 + 3);  // first binding
    const struct {
        const char* name;
        std::size_t at;
        std::uint8_t value;
    } cases[] = {
        {"first binding not a SEQUENCE", b, 0x31},
        {"second identifier not 13 bytes", b + 25, 0x0C},
        {"first value not 5 bytes", b + 16, 0x04},
        {"address not 4 bytes", b + 76, 0x05},
        {"name longer than the message", b + 97, 0x04},
        {"name length in a long form running past the message", b + 97, 0x81},
        {"third identifier tag", b + 44, 0x04},
        {"another object", b + 10, 0x08},
        {"address as an INTEGER", b + 75, 0x02},
        {"version as a NULL", b + 15, 0x05},
        {"hardware type of an unknown type", b + 57, 0x46},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        bad[c.at] = c.value;
        snmp::DiscoveryAnswer answer;
        EXPECT_EQ(snmp::ReadDiscoveryReply(bad.data(), bad.size(), answer), kHlpUndecodable) << c.name;
    }
    // Only four bindings.
    const Bytes four = Message(Concat({Binding(OidContent(kDiscoveryOids[0]), Tlv(0x04, {4, 0, 0, 0, 0})),
                                       Binding(OidContent(kDiscoveryOids[1]), Tlv(0x02, {3})),
                                       Binding(OidContent(kDiscoveryOids[2]), Tlv(0x02, {1})),
                                       Binding(OidContent(kDiscoveryOids[3]), Tlv(0x40, {127, 0, 0, 1}))}));
    snmp::DiscoveryAnswer answer;
    EXPECT_EQ(snmp::ReadDiscoveryReply(four.data(), four.size(), answer), kHlpUndecodable);
    EXPECT_FALSE(answer.hasValues);
    // A sixth binding: the full decoder would read it, the reader cannot.
    const Bytes six = Message(Concat({DiscoveryBindings("dev"), Binding(kSysDescr, kNullValue)}));
    EXPECT_EQ(snmp::ReadDiscoveryReply(six.data(), six.size(), answer), kHlpUndecodable);
    // A community the full decoder has no room for.
    const Bytes community = DiscoveryReply("dev", kZero, Bytes(snmp::kCommunityBufferSize + 1, 'c'));
    EXPECT_EQ(snmp::ReadDiscoveryReply(community.data(), community.size(), answer), kHlpUndecodable);
}

namespace {

// The elements of a discovery answer, by which one takes a long-form length.
enum AnswerElement { kMessageElement, kCommunityElement, kPduElement, kListElement, kBindingElement = 4,
                     kOidElement = 9, kValueElement = 14, kAnswerElements = 19 };

struct TypedValue {
    std::uint8_t tag;
    Bytes content;
};

const TypedValue kPlainValues[] = {{0x04, {4, 1, 2, 3, 0x21}}, {0x02, {3}}, {0x02, {9}}, {0x40, {127, 0, 0, 9}},
                                   {0x04, Text("Harbor")}};

// A discovery answer with the values given, every length in the shortest
// form but the element longAt's, which takes lengthBytes long-form bytes.
Bytes AnswerInForm(const TypedValue (&values)[5], int longAt = -1, std::size_t lengthBytes = 1,
                   const Bytes& status = kZero) {
    const auto tlv = [&](int element, std::uint8_t tag, const Bytes& content) {
        return element == longAt ? TlvLong(tag, content, lengthBytes) : Tlv(tag, content);
    };
    Bytes bindings;
    for (int i = 0; i < 5; ++i) {
        bindings = Concat({bindings, tlv(kBindingElement + i, 0x30,
                                         Concat({tlv(kOidElement + i, 0x06, OidContent(kDiscoveryOids[i])),
                                                 tlv(kValueElement + i, values[i].tag, values[i].content)}))});
    }
    const Bytes pdu = tlv(kPduElement, 0xA2, Concat({kZero, status, kZero, tlv(kListElement, 0x30, bindings)}));
    return tlv(kMessageElement, 0x30, Concat({kZero, tlv(kCommunityElement, 0x04, Text("public")), pdu}));
}

}  // namespace

// Agents may write any length in a long form; the reader takes each and reads
// what the full decoder reads.
TEST_F(SnmpDecoding, DiscoveryReaderTakesEveryLengthForm) {
    for (int element = 0; element < kAnswerElements; ++element) {
        for (std::size_t lengthBytes : {1, 2, 4}) {
            SCOPED_TRACE("element " + std::to_string(element) + ", " + std::to_string(lengthBytes) + " length bytes");
            const Bytes message = AnswerInForm(kPlainValues, element, lengthBytes);
            ASSERT_EQ(Decode(message, *reply_), kHlpOk);
            snmp::DiscoveryAnswer answer;
            ASSERT_EQ(snmp::ReadDiscoveryReply(message.data(), message.size(), answer), kHlpOk);
            EXPECT_TRUE(answer.hasValues);
            EXPECT_EQ(Bytes(answer.version, answer.version + 4), (Bytes{4, 1, 2, 3}));
            EXPECT_EQ(answer.capability, 0x21);
            EXPECT_EQ(answer.dialOut, 3);
            EXPECT_EQ(answer.hardwareType, 9);
            EXPECT_EQ(Bytes(answer.address, answer.address + 4), (Bytes{127, 0, 0, 9}));
            EXPECT_STREQ(answer.name, "Harbor");
        }
    }
}

// Values in every width and type the full decoder reads them in.
TEST_F(SnmpDecoding, DiscoveryReaderTakesValuesAsTheDecoderReadsThem) {
    const struct {
        const char* name;
        int object;
        TypedValue value;
        std::int32_t dialOut;
        std::int32_t hardwareType;
    } cases[] = {
        {"hardware type 200 in two bytes", 2, {0x02, {0x00, 0xC8}}, 3, 200},
        {"hardware type 300", 2, {0x02, {0x01, 0x2C}}, 3, 300},
        {"hardware type 200 in one byte", 2, {0x02, {0xC8}}, 3, -56},
        {"hardware type 70000 in three bytes", 2, {0x02, {0x01, 0x11, 0x70}}, 3, 70000},
        {"hardware type as a Gauge", 2, {0x42, {0x09}}, 3, 9},
        {"hardware type as a Counter in five bytes", 2, {0x41, {0x00, 0x80, 0x00, 0x00, 0x00}}, 3, INT32_MIN},
        {"hardware type as one byte of text", 2, {0x04, {0x0C}}, 3, 12},
        {"dial-out in two bytes", 1, {0x02, {0x00, 0x03}}, 3, 9},
        {"dial-out as one byte of text", 1, {0x04, {0x03}}, 3, 9},
        {"dial-out 2", 1, {0x02, {0x02}}, 2, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TypedValue values[5] = {kPlainValues[0], kPlainValues[1], kPlainValues[2], kPlainValues[3], kPlainValues[4]};
        values[c.object] = c.value;
        const Bytes message = AnswerInForm(values);
        ASSERT_EQ(Decode(message, *reply_), kHlpOk);
        snmp::DiscoveryAnswer answer;
        ASSERT_EQ(snmp::ReadDiscoveryReply(message.data(), message.size(), answer), kHlpOk);
        EXPECT_EQ(answer.dialOut, c.dialOut);
        EXPECT_EQ(answer.hardwareType, c.hardwareType);
        EXPECT_STREQ(answer.name, "Harbor");
    }
    // Wider than the decoder reads.
    TypedValue values[5] = {kPlainValues[0], kPlainValues[1], {0x02, {1, 2, 3, 4, 5}}, kPlainValues[3],
                            kPlainValues[4]};
    const Bytes wide = AnswerInForm(values);
    snmp::DiscoveryAnswer answer;
    EXPECT_EQ(snmp::ReadDiscoveryReply(wide.data(), wide.size(), answer), kHlpUndecodable);
}

// An error reply carries its values where the agent sent them; an agent's
// echo of the request (NULL values) has none to read.
TEST_F(SnmpDecoding, DiscoveryReaderReadsTheValuesOfAnErrorReply) {
    const Bytes status5 = {0x02, 0x01, 0x05};
    const Bytes withValues = AnswerInForm(kPlainValues, -1, 1, status5);
    snmp::DiscoveryAnswer answer;
    EXPECT_EQ(snmp::ReadDiscoveryReply(withValues.data(), withValues.size(), answer), -105);
    EXPECT_EQ(answer.errorStatus, 5);
    EXPECT_TRUE(answer.hasValues);
    EXPECT_EQ(answer.dialOut, 3);
    EXPECT_STREQ(answer.name, "Harbor");

    const TypedValue nulls[5] = {{0x05, {}}, {0x05, {}}, {0x05, {}}, {0x05, {}}, {0x05, {}}};
    const Bytes echo = AnswerInForm(nulls, -1, 1, status5);
    EXPECT_EQ(snmp::ReadDiscoveryReply(echo.data(), echo.size(), answer), -105);
    EXPECT_EQ(answer.errorStatus, 5);
    EXPECT_FALSE(answer.hasValues);
    EXPECT_EQ(answer.dialOut, 0);
    EXPECT_EQ(snmp::ReadDiscoveryReply(echo.data(), echo.size() - 1, answer), kHlpUndecodable);
}

// Every cut of a valid reply fails cleanly, read from an exactly sized copy.
TEST_F(SnmpDecoding, EveryTruncationFails) {
    const Bytes replies[] = {
        DiscoveryReply(std::string(47, 'z')),
        DiscoveryReply("a"),
        Message(Concat({Binding(kSysDescr, {0x41, 0x05, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}),
                        Binding(kSysDescr, {0x06, 0x04, 0x2B, 0x06, 0x81, 0x01}),
                        Binding(kSysDescr, Tlv(0x04, Bytes(200, 'v')))})),
    };
    for (const Bytes& full : replies) {
        for (std::size_t n = 0; n < full.size(); ++n) {
            const Bytes cut(full.begin(), full.begin() + n);
            EXPECT_EQ(Decode(cut, *reply_), kHlpUndecodable) << n;
            std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[n]);
            if (n != 0) std::memcpy(copy.get(), cut.data(), n);
            snmp::DiscoveryAnswer answer;
            EXPECT_EQ(snmp::ReadDiscoveryReply(copy.get(), n, answer), kHlpUndecodable) << n;
        }
    }
}

TEST(SnmpOid, PrefixComparison) {
    snmp::Oid column;
    snmp::Oid row;
    const std::uint16_t columnIds[] = {1, 3, 6, 1, 4, 1, 5821, 1, 17, 2, 1, 1};
    const std::uint16_t rowIds[] = {1, 3, 6, 1, 4, 1, 5821, 1, 17, 2, 1, 1, 7};
    std::memcpy(column.ids, columnIds, sizeof(columnIds));
    column.count = 12;
    std::memcpy(row.ids, rowIds, sizeof(rowIds));
    row.count = 13;
    EXPECT_TRUE(snmp::OidPrefixEqual(row, column, 12));
    EXPECT_TRUE(snmp::OidPrefixEqual(row, column, 0));
    EXPECT_FALSE(snmp::OidPrefixEqual(row, column, 13));  // column has only 12
    row.ids[11] = 2;                                      // the next column
    EXPECT_FALSE(snmp::OidPrefixEqual(row, column, 12));
    EXPECT_TRUE(snmp::OidPrefixEqual(row, column, 11));
}

}  // namespace
