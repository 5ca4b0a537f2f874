#include "SnmpCodec.h"

#include <cstring>
#include <limits>

#include "BrowseErrors.h"

namespace snmp {
namespace {

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint32_t kMaxSubIdValue = 0xFFFF;

std::size_t LengthSize(std::size_t length) {
    if (length < 0x80) return 1;
    if (length <= 0xFF) return 2;
    if (length <= 0xFFFF) return 3;
    return 0;  // never needed inside 512 bytes
}

std::size_t IntegerContentSize(std::int32_t value) {
    std::size_t size = 4;
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    while (size > 1) {
        const std::uint32_t top = (bits >> ((size - 1) * 8)) & 0xFF;
        const std::uint32_t nextHigh = (bits >> ((size - 2) * 8)) & 0x80;
        if ((top == 0x00 && nextHigh == 0) || (top == 0xFF && nextHigh != 0)) {
            --size;
        } else {
            break;
        }
    }
    return size;
}

constexpr std::size_t SubIdSize(std::uint32_t value) {
    std::size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

std::uint32_t FirstSubId(const Oid& oid) { return 40u * oid.ids[0] + oid.ids[1]; }

std::size_t OidContentSize(const Oid& oid) {
    std::size_t size = SubIdSize(FirstSubId(oid));
    for (std::size_t i = 2; i < oid.count; ++i) size += SubIdSize(oid.ids[i]);
    return size;
}

std::size_t TlvSize(std::size_t content) { return 1 + LengthSize(content) + content; }

// Forward writer over a fixed buffer; once a write does not fit, it stays failed.
class Writer {
public:
    Writer(std::uint8_t* buf, std::size_t capacity) : buf_(buf), capacity_(capacity) {}

    bool Ok() const { return ok_; }
    std::size_t Size() const { return size_; }

    void Byte(std::uint8_t b) {
        if (!ok_ || size_ >= capacity_) {
            ok_ = false;
            return;
        }
        buf_[size_++] = b;
    }
    void Bytes(const void* data, std::size_t n) {
        if (!ok_ || n > capacity_ - size_) {
            ok_ = false;
            return;
        }
        if (n != 0) std::memcpy(buf_ + size_, data, n);
        size_ += n;
    }
    void Header(std::uint8_t tag, std::size_t content) {
        Byte(tag);
        if (!ok_) return;
        const std::size_t n = EncodeLength(content, buf_ + size_, capacity_ - size_);
        if (n == 0) ok_ = false;
        size_ += n;
    }
    void Integer(std::int32_t value) {
        if (!ok_) return;
        const std::size_t n = EncodeInteger(value, buf_ + size_, capacity_ - size_);
        if (n == 0) ok_ = false;
        size_ += n;
    }
    void SubId(std::uint32_t value) {
        for (std::size_t i = SubIdSize(value); i > 1; --i) {
            Byte(static_cast<std::uint8_t>(0x80 | ((value >> ((i - 1) * 7)) & 0x7F)));
        }
        Byte(static_cast<std::uint8_t>(value & 0x7F));
    }
    void ObjectId(const Oid& oid) {
        Header(kObjectId, OidContentSize(oid));
        SubId(FirstSubId(oid));
        for (std::size_t i = 2; i < oid.count; ++i) SubId(oid.ids[i]);
    }

private:
    std::uint8_t* buf_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    bool ok_ = true;
};

// One element read from a reply: its tag and the bounds of its content.
struct Element {
    std::uint8_t tag = 0;
    const std::uint8_t* content = nullptr;
    std::size_t length = 0;
};

// Reads elements one after another within [pos, end); every length is checked
// against the bytes left before any content is touched.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t length) : pos_(data), end_(data + length) {}
    explicit Reader(const Element& e) : Reader(e.content, e.length) {}

    bool AtEnd() const { return pos_ == end_; }
    const std::uint8_t* Position() const { return pos_; }

    bool Next(Element& e) {
        if (pos_ == end_) return false;
        e.tag = *pos_++;
        if ((e.tag & 0x1F) == 0x1F) return false;  // high-tag-number form
        if (pos_ == end_) return false;
        std::size_t length = *pos_++;
        if (length & 0x80) {
            const std::size_t count = length & 0x7F;
            if (count == 0 || count > 4) return false;  // indefinite or oversized
            if (count > static_cast<std::size_t>(end_ - pos_)) return false;
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < count; ++i) value = (value << 8) | *pos_++;
            length = value;
        }
        if (length > static_cast<std::size_t>(end_ - pos_)) return false;
        e.content = pos_;
        e.length = length;
        pos_ += length;
        return true;
    }

    bool Expect(std::uint8_t tag, Element& e) { return Next(e) && e.tag == tag; }

private:
    const std::uint8_t* pos_;
    const std::uint8_t* end_;
};

bool IsIntegerType(std::uint8_t tag) {
    return tag == kInteger || tag == kCounter || tag == kGauge || tag == kTimeTicks;
}

bool ReadIntegerContent(const Element& e, std::int32_t& value) {
    const std::uint8_t* p = e.content;
    std::size_t n = e.length;
    if (n == 0) return false;
    // Unsigned 32-bit types need a fifth byte (a leading 0) above 0x7FFFFFFF.
    if (n == 5 && e.tag != kInteger && p[0] == 0x00 && (p[1] & 0x80)) {
        ++p;
        --n;
    }
    if (n > 4) return false;
    std::uint32_t bits = (p[0] & 0x80) ? 0xFFFFFFFFu : 0u;
    for (std::size_t i = 0; i < n; ++i) bits = (bits << 8) | p[i];
    value = static_cast<std::int32_t>(bits);
    return true;
}

bool ReadInteger(Reader& r, std::int32_t& value) {
    Element e;
    return r.Expect(kInteger, e) && ReadIntegerContent(e, value);
}

bool ReadOidContent(const Element& e, Oid& oid) {
    oid.count = 0;
    std::size_t i = 0;
    bool first = true;
    while (i < e.length) {
        std::uint32_t value = 0;
        for (;;) {
            if (i == e.length) return false;  // last byte still says "more"
            const std::uint8_t b = e.content[i++];
            value = (value << 7) | (b & 0x7F);
            if (value > kMaxSubIdValue) return false;
            if (!(b & 0x80)) break;
        }
        if (first) {
            // 40 * X + Y with X at most 2: from 80 on, X is 2 and Y the rest.
            oid.ids[0] = static_cast<std::uint16_t>(value < 80 ? value / 40 : 2);
            oid.ids[1] = static_cast<std::uint16_t>(value < 80 ? value % 40 : value - 80);
            oid.count = 2;
            first = false;
        } else {
            if (oid.count == kMaxSubIds) return false;
            oid.ids[oid.count++] = static_cast<std::uint16_t>(value);
        }
    }
    return oid.count != 0;
}

bool ReadValue(const Element& e, Value& v) {
    v = Value{};
    v.type = e.tag;
    if (IsIntegerType(e.tag)) return ReadIntegerContent(e, v.integer);
    switch (e.tag) {
    case kOctetString:
    case kIpAddress:
    case kOpaque:
        v.bytes = e.content;
        v.length = e.length;
        return true;
    case kNull:
        return e.length == 0;
    case kObjectId:
        return ReadOidContent(e, v.oid);
    default:
        return false;
    }
}

// The part of a reply up to its bindings list, shared by the decoder and the
// fast reader.
struct Header {
    Element community;
    std::uint8_t pduType = 0;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    Element bindings;
};

bool ReadHeader(const std::uint8_t* data, std::size_t length, Header& h) {
    if (data == nullptr) return false;
    Reader outer(data, length);
    Element message;
    if (!outer.Expect(kSequence, message)) return false;
    Reader inMessage(message);
    std::int32_t version = 0;
    if (!ReadInteger(inMessage, version)) return false;
    if (!inMessage.Expect(kOctetString, h.community)) return false;
    Element pdu;
    if (!inMessage.Next(pdu)) return false;
    h.pduType = pdu.tag;
    Reader inPdu(pdu);
    return ReadInteger(inPdu, h.requestId) && ReadInteger(inPdu, h.errorStatus) &&
           ReadInteger(inPdu, h.errorIndex) && inPdu.Expect(kSequence, h.bindings);
}

// An element's length at p (its tag already checked) in the short form or
// the one-byte long form, the forms agents write for replies this size; its
// content must lie before end. On success p is at the content. Written
// without a branch on the form: which one comes varies with every device's
// name length, so a branch would be mispredicted.
bool CommonLength(const std::uint8_t*& p, const std::uint8_t* end, std::size_t& size) {
    const std::ptrdiff_t left = end - p;
    if (left < 3) return false;  // an element this small at the end is left to the walker
    const std::size_t first = p[1];
    const std::size_t second = p[2];
    const bool longForm = first == 0x81;
    if (first >= 0x80 && !longForm) return false;
    const std::size_t n = longForm ? second : first;
    const std::size_t header = 2 + static_cast<std::size_t>(longForm);
    if (n > static_cast<std::size_t>(left) - header) return false;
    p += header;
    size = n;
    return true;
}

// ReadHeader's result for the header agents write: lengths as CommonLength
// takes them and every INTEGER in one byte. False for anything else, which
// ReadHeader then reads.
bool ReadCommonHeader(const std::uint8_t* data, std::size_t length, Header& h) {
    if (data == nullptr || length < 2 || data[0] != kSequence) return false;
    const std::uint8_t* p = data;
    std::size_t size = 0;
    if (!CommonLength(p, data + length, size)) return false;
    const std::uint8_t* end = p + size;  // the message
    if (end - p < 5 || p[0] != kInteger || p[1] != 1 || p[3] != kOctetString) return false;
    p += 3;
    if (!CommonLength(p, end, size)) return false;
    h.community = Element{kOctetString, p, size};
    p += size;
    if (end - p < 2 || (p[0] & 0x1F) == 0x1F) return false;
    h.pduType = p[0];
    if (!CommonLength(p, end, size)) return false;
    end = p + size;  // the PDU
    if (end - p < 11 || p[0] != kInteger || p[1] != 1 || p[3] != kInteger || p[4] != 1 || p[6] != kInteger ||
        p[7] != 1 || p[9] != kSequence) {
        return false;
    }
    h.requestId = static_cast<std::int8_t>(p[2]);
    h.errorStatus = static_cast<std::int8_t>(p[5]);
    h.errorIndex = static_cast<std::int8_t>(p[8]);
    p += 9;
    if (!CommonLength(p, end, size)) return false;
    h.bindings = Element{kSequence, p, size};
    return true;
}

std::int32_t StatusResult(std::int32_t errorStatus) {
    if (errorStatus == 0) return kHlpOk;
    // -100 - n must stay a failure code and must not overflow.
    if (errorStatus < 0 || errorStatus > std::numeric_limits<std::int32_t>::max() + kHlpUndecodable) {
        return kHlpUndecodable;
    }
    return HlpSnmpError(errorStatus);
}

// Identifier contents as agents write them, built from the sub-identifiers at
// compile time so the reader compares bytes instead of decoding.
struct EncodedOid {
    std::uint8_t bytes[16] = {};
    std::size_t length = 0;
};

template <std::size_t N>
constexpr EncodedOid EncodeOidContent(const std::uint16_t (&ids)[N]) {
    EncodedOid out;
    auto put = [&out](std::uint32_t value) {
        for (std::size_t i = SubIdSize(value); i > 1; --i) {
            out.bytes[out.length++] = static_cast<std::uint8_t>(0x80 | ((value >> ((i - 1) * 7)) & 0x7F));
        }
        out.bytes[out.length++] = static_cast<std::uint8_t>(value & 0x7F);
    };
    put(40u * ids[0] + ids[1]);
    for (std::size_t i = 2; i < N; ++i) put(ids[i]);
    return out;
}

constexpr EncodedOid kDiscoveryOidContents[kDiscoveryObjectCount] = {
    EncodeOidContent(kVersionOid), EncodeOidContent(kIpDialOutOid), EncodeOidContent(kHardwareTypeOid),
    EncodeOidContent(kOwnAddressOid), EncodeOidContent(kDeviceNameOid)};
static_assert(kDiscoveryOidContents[0].length == 11 && kDiscoveryOidContents[1].length == 13 &&
              kDiscoveryOidContents[2].length == 11 && kDiscoveryOidContents[3].length == 11 &&
              kDiscoveryOidContents[4].length == 11);

bool IsBytesType(std::uint8_t tag) { return tag == kOctetString || tag == kIpAddress || tag == kOpaque; }

// The dial-out value and the hardware type: an integer type read as the
// decoder reads it, or a string of one byte, which some agents send.
bool ReadSmallNumber(const Element& e, std::int32_t& value) {
    if (IsIntegerType(e.tag)) return ReadIntegerContent(e, value);
    if (!IsBytesType(e.tag) || e.length != 1) return false;
    value = e.content[0];
    return true;
}

// The answer's values from the five value elements, each of its object's
// type and size; nothing is written unless all are.
bool TakeValues(const Element (&v)[kDiscoveryObjectCount], DiscoveryAnswer& answer) {
    std::int32_t dialOut = 0;
    std::int32_t hardwareType = 0;
    if (!IsBytesType(v[0].tag) || v[0].length != 5 || !ReadSmallNumber(v[1], dialOut) ||
        !ReadSmallNumber(v[2], hardwareType) || !IsBytesType(v[3].tag) || v[3].length != 4 ||
        !IsBytesType(v[4].tag)) {
        return false;
    }
    std::memcpy(answer.version, v[0].content, 4);
    answer.capability = v[0].content[4];
    answer.dialOut = dialOut;
    answer.hardwareType = hardwareType;
    std::memcpy(answer.address, v[3].content, 4);
    answer.nameLength = v[4].length < kMaxDeviceName ? v[4].length : kMaxDeviceName;
    std::memcpy(answer.name, v[4].content, answer.nameLength);
    return true;
}

// The values of the five discovery bindings, each binding holding exactly
// its object's identifier and one value, and nothing after the fifth. Any
// valid length form is taken.
bool WalkDiscoveryValues(const Element& list, DiscoveryAnswer& answer) {
    Element values[kDiscoveryObjectCount];
    Reader inList(list);
    for (std::size_t i = 0; i < kDiscoveryObjectCount; ++i) {
        Element binding;
        Element name;
        if (!inList.Expect(kSequence, binding)) return false;
        Reader inBinding(binding);
        const EncodedOid& oid = kDiscoveryOidContents[i];
        if (!inBinding.Expect(kObjectId, name) || name.length != oid.length) return false;
        // A plain loop: the C library's memcmp is a call away under Wine.
        for (std::size_t k = 0; k < oid.length; ++k) {
            if (name.content[k] != oid.bytes[k]) return false;
        }
        if (!inBinding.Next(values[i]) || !inBinding.AtEnd()) return false;
    }
    return inList.AtEnd() && TakeValues(values, answer);
}

// The form agents write: one-byte lengths throughout, the version as a 5-byte
// OCTET STRING, the dial-out value and the hardware type as one-byte
// INTEGERs, the address as an IpAddress. Every byte up to the name's length
// is then fixed but for the values, so the bindings are checked against one
// template, eight bytes at a time.
struct CommonForm {
    static constexpr std::size_t kWords = 12;
    static constexpr std::size_t kNameTagAt = kWords * 8;  // then the name's length and characters
    static constexpr std::size_t kBindingAt[kDiscoveryObjectCount] = {0, 22, 42, 60, 81};
    static constexpr std::uint8_t kValueTag[kDiscoveryObjectCount] = {kOctetString, kInteger, kInteger,
                                                                      kIpAddress, kOctetString};
    static constexpr std::size_t kValueLength[kDiscoveryObjectCount - 1] = {5, 1, 1, 4};

    std::uint8_t bytes[kWords * 8] = {};
    std::uint8_t mask[kWords * 8] = {};  // 0xFF where the byte is fixed

    constexpr CommonForm() {
        for (std::size_t i = 0; i < kDiscoveryObjectCount; ++i) {
            const EncodedOid& oid = kDiscoveryOidContents[i];
            std::size_t at = kBindingAt[i];
            const bool last = i + 1 == kDiscoveryObjectCount;
            Fix(at++, kSequence);
            if (!last) Fix(at, static_cast<std::uint8_t>(2 + oid.length + 2 + kValueLength[i]));
            ++at;  // the last binding's length follows its name
            Fix(at++, kObjectId);
            Fix(at++, static_cast<std::uint8_t>(oid.length));
            for (std::size_t k = 0; k < oid.length; ++k) Fix(at++, oid.bytes[k]);
            if (last) break;
            Fix(at++, kValueTag[i]);
            Fix(at++, static_cast<std::uint8_t>(kValueLength[i]));
        }
    }
    constexpr void Fix(std::size_t at, std::uint8_t value) {
        bytes[at] = value;
        mask[at] = 0xFF;
    }
};
constexpr CommonForm kCommonForm;
static_assert(CommonForm::kBindingAt[4] + 2 + 2 + 11 == CommonForm::kNameTagAt);

std::uint64_t Word(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// The values at their fixed places when the bindings are in the common form;
// nothing is written otherwise.
bool ReadCommonForm(const Element& list, DiscoveryAnswer& answer) {
    constexpr std::size_t kNameAt = CommonForm::kNameTagAt + 2;
    const std::uint8_t* b = list.content;
    if (list.length < kNameAt) return false;
    const std::size_t nameLength = b[kNameAt - 1];
    if (list.length != kNameAt + nameLength || b[CommonForm::kNameTagAt] != CommonForm::kValueTag[4] ||
        nameLength >= 0x80 || b[CommonForm::kBindingAt[4] + 1] != 2 + 11 + 2 + nameLength) {
        return false;
    }
    std::uint64_t differ = 0;
    for (std::size_t w = 0; w < CommonForm::kWords; ++w) {
        differ |= (Word(b + 8 * w) ^ Word(kCommonForm.bytes + 8 * w)) & Word(kCommonForm.mask + 8 * w);
    }
    if (differ != 0) return false;
    // Each value ends where the next binding begins.
    const std::uint8_t* version = b + CommonForm::kBindingAt[1] - 5;
    std::memcpy(answer.version, version, 4);
    answer.capability = version[4];
    answer.dialOut = static_cast<std::int8_t>(b[CommonForm::kBindingAt[2] - 1]);
    answer.hardwareType = static_cast<std::int8_t>(b[CommonForm::kBindingAt[3] - 1]);
    std::memcpy(answer.address, b + CommonForm::kBindingAt[4] - 4, 4);
    answer.nameLength = nameLength < kMaxDeviceName ? nameLength : kMaxDeviceName;
    std::memcpy(answer.name, b + kNameAt, answer.nameLength);
    return true;
}

}  // namespace

std::size_t EncodeLength(std::size_t length, std::uint8_t* buf, std::size_t capacity) {
    const std::size_t size = LengthSize(length);
    if (size == 0 || buf == nullptr || size > capacity) return 0;
    if (size == 1) {
        buf[0] = static_cast<std::uint8_t>(length);
    } else if (size == 2) {
        buf[0] = 0x81;
        buf[1] = static_cast<std::uint8_t>(length);
    } else {
        buf[0] = 0x82;
        buf[1] = static_cast<std::uint8_t>(length >> 8);
        buf[2] = static_cast<std::uint8_t>(length);
    }
    return size;
}

std::size_t EncodeInteger(std::int32_t value, std::uint8_t* buf, std::size_t capacity) {
    const std::size_t content = IntegerContentSize(value);
    if (buf == nullptr || capacity < 2 + content) return 0;
    buf[0] = kInteger;
    buf[1] = static_cast<std::uint8_t>(content);
    const std::uint32_t bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < content; ++i) {
        buf[2 + i] = static_cast<std::uint8_t>(bits >> ((content - 1 - i) * 8));
    }
    return 2 + content;
}

Request::Request(std::uint8_t pduType) {
    SetCommunity("public", 6);
    Reset(pduType);
}

void Request::Reset(std::uint8_t pduType) {
    bindingCount_ = 0;
    refused_ = false;
    SetPduType(pduType);
}

bool Request::SetPduType(std::uint8_t pduType) {
    if (pduType != kGetRequest && pduType != kGetNextRequest) {
        refused_ = true;
        return false;
    }
    pduType_ = pduType;
    return true;
}

bool Request::SetCommunity(const char* text, std::size_t length) {
    if (length > kMaxCommunity || (text == nullptr && length != 0)) {
        refused_ = true;
        return false;
    }
    if (length != 0) std::memcpy(community_, text, length);
    communityLength_ = length;
    return true;
}

bool Request::AddBinding(const std::uint16_t* ids, std::size_t count, std::uint8_t type) {
    if (ids == nullptr || count < 2 || count > kMaxSubIds || bindingCount_ == kMaxRequestBindings) {
        refused_ = true;
        return false;
    }
    Binding& b = bindings_[bindingCount_++];
    std::memcpy(b.oid.ids, ids, count * sizeof(ids[0]));
    b.oid.count = count;
    b.type = type;
    return true;
}

std::int32_t Request::Encode(std::uint8_t* buf, std::size_t capacity, std::size_t& length) const {
    length = 0;
    if (refused_ || buf == nullptr) return kHlpUnencodable;
    if (capacity > kMessageBufferSize) capacity = kMessageBufferSize;

    // Sizes first, so every header is written once with its final length.
    std::size_t bindingContent[kMaxRequestBindings] = {};
    std::size_t listContent = 0;
    for (std::size_t i = 0; i < bindingCount_; ++i) {
        if (bindings_[i].type != kNull) return kHlpUnencodable;
        bindingContent[i] = TlvSize(OidContentSize(bindings_[i].oid)) + 2;
        listContent += TlvSize(bindingContent[i]);
    }
    const std::size_t pduContent = 3 * 3 + TlvSize(listContent);  // three INTEGER 0s
    const std::size_t messageContent = 3 + TlvSize(communityLength_) + TlvSize(pduContent);
    if (TlvSize(messageContent) > capacity) return kHlpUnencodable;

    Writer w(buf, capacity);
    w.Header(kSequence, messageContent);
    w.Integer(0);  // version 1
    w.Header(kOctetString, communityLength_);
    w.Bytes(community_, communityLength_);
    w.Header(pduType_, pduContent);
    w.Integer(0);  // request-id: replies are not matched by it
    w.Integer(0);
    w.Integer(0);
    w.Header(kSequence, listContent);
    for (std::size_t i = 0; i < bindingCount_; ++i) {
        w.Header(kSequence, bindingContent[i]);
        w.ObjectId(bindings_[i].oid);
        w.Byte(kNull);
        w.Byte(0);
    }
    if (!w.Ok()) return kHlpUnencodable;
    length = w.Size();
    return kHlpOk;
}

std::int32_t DecodeReply(const std::uint8_t* data, std::size_t length, Reply& reply) {
    reply.bindingCount = 0;
    reply.communityLength = 0;
    Header h;
    if (!ReadHeader(data, length, h)) return kHlpUndecodable;
    if (h.community.length > kCommunityBufferSize) return kHlpUndecodable;
    if (h.community.length != 0) std::memcpy(reply.community, h.community.content, h.community.length);
    reply.communityLength = h.community.length;
    reply.pduType = h.pduType;
    reply.requestId = h.requestId;
    reply.errorStatus = h.errorStatus;
    reply.errorIndex = h.errorIndex;

    Reader list(h.bindings);
    while (!list.AtEnd()) {
        if (reply.bindingCount == kMaxReplyBindings) return kHlpUndecodable;
        Element binding;
        if (!list.Expect(kSequence, binding)) return kHlpUndecodable;
        Reader inBinding(binding);
        Element name;
        Element value;
        VarBinding& vb = reply.bindings[reply.bindingCount];
        if (!inBinding.Expect(kObjectId, name) || !ReadOidContent(name, vb.oid)) return kHlpUndecodable;
        if (!inBinding.Next(value) || !ReadValue(value, vb.value)) return kHlpUndecodable;
        if (!inBinding.AtEnd()) return kHlpUndecodable;
        ++reply.bindingCount;
    }
    return kHlpOk;
}

std::int32_t ReplyResult(const Reply& reply) { return StatusResult(reply.errorStatus); }

std::int32_t ReadDiscoveryReply(const std::uint8_t* data, std::size_t length,
                                DiscoveryAnswer& answer) {
    answer = DiscoveryAnswer{};
    Header h;
    if (!(ReadCommonHeader(data, length, h) || ReadHeader(data, length, h)) ||
        h.community.length > kCommunityBufferSize) {
        return kHlpUndecodable;
    }
    answer.errorStatus = h.errorStatus;
    const std::int32_t result = StatusResult(h.errorStatus);

    if (!ReadCommonForm(h.bindings, answer) && !WalkDiscoveryValues(h.bindings, answer)) {
        return result == kHlpOk ? kHlpUndecodable : result;
    }
    answer.hasValues = true;
    answer.majorVersion = static_cast<std::int8_t>(answer.version[0]);
    answer.name[answer.nameLength] = '\0';
    return result;
}

bool OidPrefixEqual(const Oid& a, const Oid& b, std::size_t n) {
    if (a.count < n || b.count < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (a.ids[i] != b.ids[i]) return false;
    }
    return true;
}

}  // namespace snmp
