#include "SnmpAgent.h"

#include <cstring>
#include <memory>
#include <vector>

#include "SnmpCodec.h"

namespace rasim {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kGetResponse = 0xA2;
constexpr std::int32_t kTooBigStatus = 1;
constexpr std::int32_t kNoSuchNameStatus = 2;

// Shortest form: one byte below 128, then 0x81 nn, 0x82 nn nn, ...
void AppendLength(Bytes& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
        return;
    }
    std::uint8_t digits[sizeof(std::size_t)];
    std::size_t count = 0;
    for (std::size_t rest = length; rest != 0; rest >>= 8) digits[count++] = static_cast<std::uint8_t>(rest);
    out.push_back(static_cast<std::uint8_t>(0x80 | count));
    while (count > 0) out.push_back(digits[--count]);
}

void AppendTlv(Bytes& out, std::uint8_t tag, const Bytes& content) {
    out.push_back(tag);
    AppendLength(out, content.size());
    out.insert(out.end(), content.begin(), content.end());
}

void AppendTlv(Bytes& out, std::uint8_t tag, const std::uint8_t* content, std::size_t length) {
    out.push_back(tag);
    AppendLength(out, length);
    out.insert(out.end(), content, content + length);
}

// Fewest two's complement bytes: drop a leading byte while the next one's top
// bit still carries the sign.
Bytes SignedContent(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::size_t size = 4;
    while (size > 1) {
        const std::uint32_t top = (bits >> ((size - 1) * 8)) & 0xFF;
        const bool nextNegative = ((bits >> ((size - 2) * 8)) & 0x80) != 0;
        if ((top == 0x00 && !nextNegative) || (top == 0xFF && nextNegative)) {
            --size;
        } else {
            break;
        }
    }
    Bytes content;
    for (std::size_t i = size; i > 0; --i) content.push_back(static_cast<std::uint8_t>(bits >> ((i - 1) * 8)));
    return content;
}

// Counter, Gauge and TimeTicks are unsigned: above 0x7FFFFFFF a leading 0 keeps them positive.
Bytes UnsignedContent(std::uint32_t value) {
    Bytes content = SignedContent(static_cast<std::int32_t>(value));
    if (value > 0x7FFFFFFFu) content.insert(content.begin(), 0x00);
    return content;
}

void AppendInteger(Bytes& out, std::int32_t value) { AppendTlv(out, snmp::kInteger, SignedContent(value)); }

void AppendSubId(Bytes& out, std::uint32_t value) {
    std::uint8_t groups[5];
    std::size_t count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<std::uint8_t>(0x80 | groups[--count]));
    out.push_back(groups[0]);
}

void AppendOid(Bytes& out, const std::uint32_t* ids, std::size_t count) {
    Bytes content;
    if (count >= 2) {
        AppendSubId(content, 40u * ids[0] + ids[1]);
        for (std::size_t i = 2; i < count; ++i) AppendSubId(content, ids[i]);
    }
    AppendTlv(out, snmp::kObjectId, content);
}

OidPath PathOf(const snmp::Oid& oid) { return OidPath(oid.ids, oid.ids + oid.count); }

void AppendMibValue(Bytes& out, const MibValue& value) {
    if (value.type == snmp::kInteger) {
        AppendInteger(out, value.integer);
    } else {
        AppendTlv(out, value.type, value.bytes);
    }
}

// A request's value sent back as it came (NULL in practice).
void AppendEchoedValue(Bytes& out, const snmp::Value& value) {
    switch (value.type) {
    case snmp::kInteger:
        AppendInteger(out, value.integer);
        break;
    case snmp::kCounter:
    case snmp::kGauge:
    case snmp::kTimeTicks:
        AppendTlv(out, value.type, UnsignedContent(static_cast<std::uint32_t>(value.integer)));
        break;
    case snmp::kObjectId: {
        const OidPath path = PathOf(value.oid);
        AppendOid(out, path.data(), path.size());
        break;
    }
    case snmp::kNull:
        AppendTlv(out, snmp::kNull, nullptr, 0);
        break;
    default:  // OCTET STRING, IpAddress, Opaque
        AppendTlv(out, value.type, value.bytes, value.length);
        break;
    }
}

void AppendBinding(Bytes& list, const OidPath& oid, const MibValue& value) {
    Bytes binding;
    AppendOid(binding, oid.data(), oid.size());
    AppendMibValue(binding, value);
    AppendTlv(list, kSequence, binding);
}

Bytes EchoedBindings(const snmp::Reply& request) {
    Bytes list;
    for (std::size_t i = 0; i < request.bindingCount; ++i) {
        Bytes binding;
        const OidPath path = PathOf(request.bindings[i].oid);
        AppendOid(binding, path.data(), path.size());
        AppendEchoedValue(binding, request.bindings[i].value);
        AppendTlv(list, kSequence, binding);
    }
    return list;
}

Bytes Message(const std::string& community, std::int32_t requestId, std::int32_t status, std::int32_t index,
              const Bytes& bindingList) {
    Bytes pdu;
    AppendInteger(pdu, requestId);
    AppendInteger(pdu, status);
    AppendInteger(pdu, index);
    AppendTlv(pdu, kSequence, bindingList);
    Bytes message;
    AppendInteger(message, 0);  // version 1
    AppendTlv(message, snmp::kOctetString, reinterpret_cast<const std::uint8_t*>(community.data()),
              community.size());
    AppendTlv(message, kGetResponse, pdu);
    Bytes out;
    AppendTlv(out, kSequence, message);
    return out;
}

// DecodeReply does not hand out the version; a version 1 message starts
// SEQUENCE, length, INTEGER 0 (in any number of bytes: requests need not be
// minimal). DecodeReply has already checked the framing.
bool IsVersion1(const std::uint8_t* data, std::size_t length) {
    if (length < 2 || data[0] != kSequence) return false;
    std::size_t at = 2;
    if (data[1] & 0x80) at += data[1] & 0x7F;
    if (length < at + 3 || data[at] != snmp::kInteger) return false;
    const std::size_t size = data[at + 1];
    if (size == 0 || size > 4 || length < at + 2 + size) return false;
    for (std::size_t i = 0; i < size; ++i)
        if (data[at + 2 + i] != 0) return false;
    return true;
}

// The answer's bindings, or the 1-based index of the first binding with no
// object to give (0 when all were found).
std::size_t LookUp(const DeviceMib& mib, const snmp::Reply& request, Bytes& list) {
    for (std::size_t i = 0; i < request.bindingCount; ++i) {
        const OidPath asked = PathOf(request.bindings[i].oid);
        const MibObject* object = request.pduType == snmp::kGetRequest ? mib.Find(asked.data(), asked.size())
                                                                      : mib.Next(asked.data(), asked.size());
        if (object == nullptr) return i + 1;
        AppendBinding(list, object->oid, object->value);
    }
    return 0;
}

}  // namespace

AgentSettings AgentSettings::From(const SnmpBehaviour& snmp) {
    AgentSettings settings;
    settings.community = snmp.community;
    settings.forceError = snmp.forceError;
    settings.errorStatus = snmp.errorStatus;
    return settings;
}

std::string Describe(const AnswerNote& note) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string text = "pdu=";
    if (note.pduType == snmp::kGetRequest) {
        text += "get";
    } else if (note.pduType == snmp::kGetNextRequest) {
        text += "getnext";
    } else {
        text += "0x";
        text += kHex[note.pduType >> 4];
        text += kHex[note.pduType & 0xF];
    }
    text += " oids=" + std::to_string(note.bindings) + " result=";
    switch (note.result) {
    case AnswerResult::kOk: return text + "ok";
    case AnswerResult::kNoSuchName: return text + "nosuchname";
    case AnswerResult::kError: return text + "error-" + std::to_string(note.errorStatus);
    case AnswerResult::kTooBig: return text + "toobig";
    case AnswerResult::kIgnoredCommunity: return text + "ignored-community";
    case AnswerResult::kIgnoredPdu: return text + "ignored-pdu";
    case AnswerResult::kIgnoredVersion: return text + "ignored-version";
    case AnswerResult::kIgnoredSilent: return text + "ignored-silent";
    case AnswerResult::kUndecodable: return text + "undecodable";
    }
    return text;
}

std::size_t SnmpAgent::Answer(const std::uint8_t* request, std::size_t length, std::uint8_t* out,
                              std::size_t capacity, AnswerNote* note) const {
    AnswerNote local;
    AnswerNote& n = note != nullptr ? *note : local;
    n = AnswerNote{};
    // Large (tens of kilobytes): not for the stack of a simulator thread.
    auto decoded = std::make_unique<snmp::Reply>();
    if (request == nullptr || snmp::DecodeReply(request, length, *decoded) != 0) return 0;
    const snmp::Reply& r = *decoded;
    n.pduType = r.pduType;
    n.bindings = r.bindingCount;
    if (!IsVersion1(request, length)) {
        n.result = AnswerResult::kIgnoredVersion;
        return 0;
    }
    if (r.communityLength != m_settings.community.size() ||
        std::memcmp(r.community, m_settings.community.data(), r.communityLength) != 0) {
        n.result = AnswerResult::kIgnoredCommunity;
        return 0;
    }
    if (r.pduType != snmp::kGetRequest && r.pduType != snmp::kGetNextRequest) {
        n.result = AnswerResult::kIgnoredPdu;
        return 0;
    }

    Bytes answer;
    if (m_settings.forceError) {
        n.result = AnswerResult::kError;
        n.errorStatus = m_settings.errorStatus;
        // tooBig names no binding; any other error points at the first.
        const std::int32_t index = m_settings.errorStatus == kTooBigStatus || r.bindingCount == 0 ? 0 : 1;
        answer = Message(m_settings.community, r.requestId, m_settings.errorStatus, index, EchoedBindings(r));
    } else {
        Bytes list;
        const std::size_t missing = LookUp(m_mib, r, list);
        if (missing != 0) {
            n.result = AnswerResult::kNoSuchName;
            n.errorStatus = kNoSuchNameStatus;
            answer = Message(m_settings.community, r.requestId, kNoSuchNameStatus,
                             static_cast<std::int32_t>(missing), EchoedBindings(r));
        } else {
            n.result = AnswerResult::kOk;
            answer = Message(m_settings.community, r.requestId, 0, 0, list);
        }
    }
    if (answer.size() > capacity) {
        // What does not fit is answered tooBig, in the request's own form.
        n.result = AnswerResult::kTooBig;
        n.errorStatus = kTooBigStatus;
        answer = Message(m_settings.community, r.requestId, kTooBigStatus, 0, EchoedBindings(r));
        if (answer.size() > capacity) return 0;
    }
    if (out == nullptr) return 0;
    std::memcpy(out, answer.data(), answer.size());
    return answer.size();
}

}  // namespace rasim
