// The full reply decoder over any bytes: every result stays inside the input
// and within the reply's fixed arrays.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "BrowseErrors.h"
#include "FuzzCheck.h"
#include "SnmpCodec.h"

namespace {

bool Inside(const std::uint8_t* p, std::size_t n, const std::uint8_t* data, std::size_t length) {
    return p >= data && n <= length && p - data <= static_cast<std::ptrdiff_t>(length - n);
}

bool IsKnownType(std::uint8_t type) {
    switch (type) {
    case snmp::kInteger: case snmp::kOctetString: case snmp::kNull: case snmp::kObjectId:
    case snmp::kIpAddress: case snmp::kCounter: case snmp::kGauge: case snmp::kTimeTicks:
    case snmp::kOpaque:
        return true;
    default:
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    static const auto reply = std::make_unique<snmp::Reply>();  // too large for the stack
    const std::int32_t result = snmp::DecodeReply(data, length, *reply);
    FUZZ_CHECK(result == kHlpOk || result == kHlpUndecodable);
    if (result != kHlpOk) return 0;

    FUZZ_CHECK(reply->communityLength <= snmp::kCommunityBufferSize);
    FUZZ_CHECK(reply->communityLength <= length);
    FUZZ_CHECK(reply->bindingCount <= snmp::kMaxReplyBindings);
    // Every binding takes at least 7 bytes of the input.
    FUZZ_CHECK(reply->bindingCount * 7 <= length);
    for (std::size_t i = 0; i < reply->bindingCount; ++i) {
        const snmp::VarBinding& b = reply->bindings[i];
        FUZZ_CHECK(b.oid.count >= 2 && b.oid.count <= snmp::kMaxSubIds);
        FUZZ_CHECK(IsKnownType(b.value.type));
        if (b.value.type == snmp::kObjectId) FUZZ_CHECK(b.value.oid.count >= 2 && b.value.oid.count <= snmp::kMaxSubIds);
        if (b.value.bytes != nullptr) FUZZ_CHECK(Inside(b.value.bytes, b.value.length, data, length));
        else FUZZ_CHECK(b.value.length == 0);
    }
    const std::int32_t status = snmp::ReplyResult(*reply);
    FUZZ_CHECK((status == kHlpOk) == (reply->errorStatus == 0));
    FUZZ_CHECK(status <= kHlpOk);
    return 0;
}
