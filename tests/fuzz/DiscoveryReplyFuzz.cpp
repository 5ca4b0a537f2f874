// The fast discovery-reply reader over any bytes. Besides its own bounds:
// whatever it accepts, the full decoder accepts too and reads the same way,
// and an error status it reports is the one the decoder reads.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "BrowseErrors.h"
#include "FuzzCheck.h"
#include "SnmpCodec.h"

namespace {

template <std::size_t N>
bool IsObject(const snmp::Oid& oid, const std::uint16_t (&ids)[N]) {
    return oid.count == N && std::memcmp(oid.ids, ids, sizeof ids) == 0;
}

bool IsBytes(const snmp::Value& value) {
    return value.type == snmp::kOctetString || value.type == snmp::kIpAddress || value.type == snmp::kOpaque;
}

// The dial-out value and the hardware type: the decoder's integer, or the one
// byte of a string.
std::int32_t SmallNumber(const snmp::Value& value) {
    if (value.type == snmp::kInteger || value.type == snmp::kCounter || value.type == snmp::kGauge ||
        value.type == snmp::kTimeTicks) {
        return value.integer;
    }
    FUZZ_CHECK(IsBytes(value) && value.length == 1);
    return value.bytes[0];
}

void CheckAgreesWithDecoder(const snmp::DiscoveryAnswer& answer, const snmp::Reply& reply) {
    FUZZ_CHECK(reply.errorStatus == answer.errorStatus);
    FUZZ_CHECK(reply.bindingCount == snmp::kDiscoveryObjectCount);
    const snmp::VarBinding* b = reply.bindings;
    FUZZ_CHECK(IsObject(b[0].oid, snmp::kVersionOid));
    FUZZ_CHECK(IsObject(b[1].oid, snmp::kIpDialOutOid));
    FUZZ_CHECK(IsObject(b[2].oid, snmp::kHardwareTypeOid));
    FUZZ_CHECK(IsObject(b[3].oid, snmp::kOwnAddressOid));
    FUZZ_CHECK(IsObject(b[4].oid, snmp::kDeviceNameOid));

    FUZZ_CHECK(IsBytes(b[0].value) && b[0].value.length == 5);
    FUZZ_CHECK(std::memcmp(answer.version, b[0].value.bytes, 4) == 0);
    FUZZ_CHECK(answer.capability == b[0].value.bytes[4]);
    FUZZ_CHECK(answer.dialOut == SmallNumber(b[1].value));
    FUZZ_CHECK(answer.hardwareType == SmallNumber(b[2].value));
    FUZZ_CHECK(IsBytes(b[3].value) && b[3].value.length == 4);
    FUZZ_CHECK(std::memcmp(answer.address, b[3].value.bytes, 4) == 0);
    FUZZ_CHECK(IsBytes(b[4].value));
    const std::size_t n = b[4].value.length < snmp::kMaxDeviceName ? b[4].value.length : snmp::kMaxDeviceName;
    FUZZ_CHECK(answer.nameLength == n);
    FUZZ_CHECK(n == 0 || std::memcmp(answer.name, b[4].value.bytes, n) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t length) {
    snmp::DiscoveryAnswer answer;
    const std::int32_t result = snmp::ReadDiscoveryReply(data, length, answer);
    FUZZ_CHECK(result == kHlpOk || result <= kHlpUndecodable);
    if (result == kHlpOk) FUZZ_CHECK(answer.hasValues && answer.errorStatus == 0);
    if (result != kHlpOk && result != kHlpUndecodable) {
        // An error status that maps to its own code.
        FUZZ_CHECK(answer.errorStatus > 0);
        FUZZ_CHECK(result == HlpSnmpError(answer.errorStatus));
    }

    static const auto reply = std::make_unique<snmp::Reply>();
    const bool decoded = snmp::DecodeReply(data, length, *reply) == kHlpOk;
    if (!answer.hasValues) {
        FUZZ_CHECK(answer.nameLength == 0 && answer.dialOut == 0 && answer.hardwareType == 0);
        if (decoded && result != kHlpUndecodable) FUZZ_CHECK(reply->errorStatus == answer.errorStatus);
        return 0;
    }

    FUZZ_CHECK(answer.nameLength <= snmp::kMaxDeviceName);
    FUZZ_CHECK(answer.nameLength < length);
    FUZZ_CHECK(answer.name[answer.nameLength] == '\0');
    FUZZ_CHECK(answer.majorVersion == static_cast<std::int8_t>(answer.version[0]));
    FUZZ_CHECK(decoded);
    CheckAgreesWithDecoder(answer, *reply);
    return 0;
}
