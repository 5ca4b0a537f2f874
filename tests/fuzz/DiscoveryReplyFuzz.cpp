// The fast discovery-reply reader over any bytes. Besides its own bounds, it
// must agree with the full decoder whenever both accept a message: the five
// bindings it reads at fixed places are then the decoder's first five.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "BrowseErrors.h"
#include "FuzzCheck.h"
#include "SnmpCodec.h"

namespace {

void CheckAgreesWithDecoder(const snmp::DiscoveryAnswer& answer, const snmp::Reply& reply) {
    FUZZ_CHECK(reply.errorStatus == 0);
    FUZZ_CHECK(reply.bindingCount >= 5);
    const snmp::VarBinding* b = reply.bindings;
    // Byte values: the decoder points at the same bytes the reader copied.
    if (b[0].value.bytes != nullptr) {
        FUZZ_CHECK(b[0].value.length == 5);
        FUZZ_CHECK(std::memcmp(answer.version, b[0].value.bytes, 4) == 0);
        FUZZ_CHECK(answer.capability == b[0].value.bytes[4]);
    }
    // One-byte integers: the reader keeps the byte, the decoder extends its sign.
    if (b[1].value.type == snmp::kInteger) FUZZ_CHECK(answer.dialOut == static_cast<std::uint8_t>(b[1].value.integer));
    if (b[2].value.type == snmp::kInteger) FUZZ_CHECK(answer.hardwareType == b[2].value.integer);
    if (b[3].value.bytes != nullptr) FUZZ_CHECK(std::memcmp(answer.address, b[3].value.bytes, 4) == 0);
    if (b[4].value.bytes != nullptr) {
        const std::size_t n = b[4].value.length < snmp::kMaxDeviceName ? b[4].value.length : snmp::kMaxDeviceName;
        FUZZ_CHECK(answer.nameLength == n);
        FUZZ_CHECK(std::memcmp(answer.name, b[4].value.bytes, n) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    snmp::DiscoveryAnswer answer;
    const std::int32_t result = snmp::ReadDiscoveryReply(data, length, answer);
    FUZZ_CHECK(result == kHlpOk || result <= kHlpUndecodable);
    if (result != kHlpOk && result != kHlpUndecodable) {
        // An error status that maps to its own code.
        FUZZ_CHECK(answer.errorStatus > 0);
        FUZZ_CHECK(result == HlpSnmpError(answer.errorStatus));
    }
    if (result != kHlpOk) return 0;

    FUZZ_CHECK(answer.errorStatus == 0);
    FUZZ_CHECK(answer.nameLength <= snmp::kMaxDeviceName);
    FUZZ_CHECK(answer.nameLength < length);
    FUZZ_CHECK(answer.name[answer.nameLength] == '\0');
    FUZZ_CHECK(answer.majorVersion == static_cast<std::int8_t>(answer.version[0]));

    static const auto reply = std::make_unique<snmp::Reply>();
    if (snmp::DecodeReply(data, length, *reply) == kHlpOk) CheckAgreesWithDecoder(answer, *reply);
    return 0;
}
