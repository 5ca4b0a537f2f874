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

std::size_t SubIdSize(std::uint32_t value) {
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

std::int32_t StatusResult(std::int32_t errorStatus) {
    if (errorStatus == 0) return kHlpOk;
    // -100 - n must stay a failure code and must not overflow.
    if (errorStatus < 0 || errorStatus > std::numeric_limits<std::int32_t>::max() + kHlpUndecodable) {
        return kHlpUndecodable;
    }
    return HlpSnmpError(errorStatus);
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
    if (!ReadHeader(data, length, h)) return kHlpUndecodable;
    answer.errorStatus = h.errorStatus;
    if (h.errorStatus != 0) return StatusResult(h.errorStatus);

    // Fixed layout from B, the first binding: five SEQUENCEs of an identifier
    // of 11 or 13 bytes and a value of 5, 1, 1, 4 and n bytes, one-byte lengths.
    struct Frame {
        std::size_t at;          // the binding's SEQUENCE tag
        std::uint8_t oidLength;
        std::uint8_t valueLength;  // 0: the name, any short length
    };
    static constexpr Frame kFrames[] = {{0, 11, 5}, {22, 13, 1}, {42, 11, 1}, {60, 11, 4}, {81, 11, 0}};
    const std::uint8_t* b = h.bindings.content;
    const std::size_t n = h.bindings.length;
    for (const Frame& f : kFrames) {
        const std::size_t valueAt = f.at + 4 + f.oidLength;  // value tag
        if (valueAt + 2 > n) return kHlpUndecodable;
        if (b[f.at] != kSequence || b[f.at + 2] != kObjectId || b[f.at + 3] != f.oidLength) {
            return kHlpUndecodable;
        }
        const std::size_t valueLength = b[valueAt + 1];
        if (valueLength >= 0x80 || (f.valueLength != 0 && valueLength != f.valueLength)) {
            return kHlpUndecodable;
        }
        // The binding's own length must cover exactly its identifier and value.
        if (b[f.at + 1] != 2 + f.oidLength + 2 + valueLength) return kHlpUndecodable;
        if (valueAt + 2 + valueLength > n) return kHlpUndecodable;
    }

    std::memcpy(answer.version, b + 17, 4);
    answer.majorVersion = static_cast<std::int8_t>(b[17]);
    answer.capability = b[21];
    answer.dialOut = b[41];
    answer.hardwareType = static_cast<std::int8_t>(b[59]);
    std::memcpy(answer.address, b + 77, 4);
    std::size_t nameLength = b[97];
    if (nameLength > kMaxDeviceName) nameLength = kMaxDeviceName;
    std::memcpy(answer.name, b + 98, nameLength);
    answer.name[nameLength] = '\0';
    answer.nameLength = nameLength;
    return kHlpOk;
}

bool OidPrefixEqual(const Oid& a, const Oid& b, std::size_t n) {
    if (a.count < n || b.count < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (a.ids[i] != b.ids[i]) return false;
    }
    return true;
}

}  // namespace snmp
