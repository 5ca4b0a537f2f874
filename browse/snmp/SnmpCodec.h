#pragma once
// The browsing library's SNMP version 1 messages in BER: the request encoder,
// the reply decoder and the fast reader of discovery replies. Plain C++ over
// byte buffers (no windows.h), so the codec also builds natively. Replies come
// from the network: every read is checked against the bytes received.
#include <cstddef>
#include <cstdint>

namespace snmp {

constexpr std::size_t kMessageBufferSize = 512;  // requests and replies alike
constexpr std::size_t kMaxSubIds = 64;
constexpr std::size_t kMaxCommunity = 69;            // what a request may carry
constexpr std::size_t kCommunityBufferSize = 128;    // what a reply may carry
constexpr std::size_t kMaxRequestBindings = 16;
// More bindings than a 512-byte reply can hold (each takes at least 7 bytes).
constexpr std::size_t kMaxReplyBindings = 72;
constexpr std::size_t kMaxDeviceName = 47;

constexpr std::uint8_t kGetRequest = 0xA0;
constexpr std::uint8_t kGetNextRequest = 0xA1;

enum ValueType : std::uint8_t {
    kInteger = 0x02,
    kOctetString = 0x04,
    kNull = 0x05,
    kObjectId = 0x06,
    kIpAddress = 0x40,
    kCounter = 0x41,
    kGauge = 0x42,
    kTimeTicks = 0x43,
    kOpaque = 0x44,
};

struct Oid {
    std::uint16_t ids[kMaxSubIds] = {};
    std::size_t count = 0;
};

// Low-level writers, each returning the bytes written or 0 when they do not fit
// in capacity.
std::size_t EncodeLength(std::size_t length, std::uint8_t* buf, std::size_t capacity);
std::size_t EncodeInteger(std::int32_t value, std::uint8_t* buf, std::size_t capacity);

// One request, reused for every request of a query context. Any refused input
// (bad PDU type, community too long, binding refused) makes Encode fail until
// Reset, so a request never goes out without a part the caller asked for.
class Request {
public:
    explicit Request(std::uint8_t pduType = kGetRequest);

    // Drops the bindings and any refusal; the community stays.
    void Reset(std::uint8_t pduType);
    // Only GetRequest and GetNextRequest are sent.
    bool SetPduType(std::uint8_t pduType);
    // At most kMaxCommunity bytes.
    bool SetCommunity(const char* text, std::size_t length);
    // count 2..kMaxSubIds; only NULL values are encodable (else Encode fails).
    bool AddBinding(const std::uint16_t* ids, std::size_t count, std::uint8_t type = kNull);

    std::size_t BindingCount() const { return bindingCount_; }

    // Writes the message into buf (at most kMessageBufferSize bytes of it are
    // used). Returns 0 with length set, or -120 with length 0.
    std::int32_t Encode(std::uint8_t* buf, std::size_t capacity, std::size_t& length) const;

private:
    struct Binding {
        Oid oid;
        std::uint8_t type = kNull;
    };

    std::uint8_t pduType_ = kGetRequest;
    char community_[kMaxCommunity] = {};
    std::size_t communityLength_ = 0;
    Binding bindings_[kMaxRequestBindings];
    std::size_t bindingCount_ = 0;
    bool refused_ = false;
};

struct Value {
    std::uint8_t type = kNull;
    // INTEGER, Counter, Gauge, TimeTicks. Unsigned types above 0x7FFFFFFF keep
    // their 32-bit pattern.
    std::int32_t integer = 0;
    // OCTET STRING, IpAddress, Opaque: points into the decoded bytes, so it is
    // valid only while that buffer is unchanged.
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    Oid oid;  // OBJECT IDENTIFIER
};

struct VarBinding {
    Oid oid;
    Value value;
};

struct Reply {
    std::uint8_t pduType = 0;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    std::uint8_t community[kCommunityBufferSize] = {};
    std::size_t communityLength = 0;
    VarBinding bindings[kMaxReplyBindings];
    std::size_t bindingCount = 0;
};

// Fills reply from data[0..length). Returns 0, or -100 when any check fails
// (the reply's contents are then unspecified). Bytes after the message are
// ignored.
std::int32_t DecodeReply(const std::uint8_t* data, std::size_t length, Reply& reply);

// 0 for a reply without error, -100 - n for error-status n. A negative status
// is no status a device sends and gives -100, never a code that reads as
// success.
std::int32_t ReplyResult(const Reply& reply);

// The five objects of the discovery request, in the order its answer holds
// them, under the device maker's enterprise arc 1.3.6.1.4.1.5821: the
// version (5 bytes: 4 version bytes, then the capability value), the IP
// dial-out value, the hardware type, the device's own address, its name.
inline constexpr std::size_t kDiscoveryObjectCount = 5;
inline constexpr std::uint16_t kVersionOid[] = {1, 3, 6, 1, 4, 1, 5821, 1, 7, 1, 0};
inline constexpr std::uint16_t kIpDialOutOid[] = {1, 3, 6, 1, 4, 1, 5821, 1, 10, 1, 1, 3, 2};
inline constexpr std::uint16_t kHardwareTypeOid[] = {1, 3, 6, 1, 4, 1, 5821, 1, 7, 3, 0};
inline constexpr std::uint16_t kOwnAddressOid[] = {1, 3, 6, 1, 4, 1, 5821, 4, 3, 14, 0};
inline constexpr std::uint16_t kDeviceNameOid[] = {1, 3, 6, 1, 4, 1, 5821, 1, 11, 11, 0};

// The fields of the answer to the five-object discovery request.
struct DiscoveryAnswer {
    std::int32_t errorStatus = 0;
    // The five values were read. An error reply may carry them too (agents
    // mostly echo NULLs instead); the fields below are set only when true.
    bool hasValues = false;
    std::uint8_t version[4] = {};  // version[0] is the major version
    std::int8_t majorVersion = 0;
    std::uint8_t capability = 0;
    std::int32_t dialOut = 0;       // 3: the device offers IP dial-out
    std::int32_t hardwareType = 0;  // the INTEGER as the full decoder reads it
    std::uint8_t address[4] = {};   // network byte order
    char name[kMaxDeviceName + 1] = {};
    std::size_t nameLength = 0;
};

// Reads the answer without building the decoded form: the header and the five
// bindings are walked by their real lengths, in any valid BER length form,
// and each value is read in place. Whatever it reads, the full decoder reads
// the same way: exactly the five objects above, values of the types the
// decoder knows (the version, address and name as byte strings, the dial-out
// value and hardware type as integers of up to 4 bytes, or one-byte strings).
// Returns 0; -100 - n for error-status n, with the values when they are there
// (hasValues); or -100 for anything else (a status 0 reply without them).
std::int32_t ReadDiscoveryReply(const std::uint8_t* data, std::size_t length,
                                DiscoveryAnswer& answer);

// True when both identifiers have at least n sub-identifiers and the first n
// are equal.
bool OidPrefixEqual(const Oid& a, const Oid& b, std::size_t n);

}  // namespace snmp
