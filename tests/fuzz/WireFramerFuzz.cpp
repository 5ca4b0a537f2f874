// The server wire parser and the receive framer over any bytes, read in
// pieces of any size, as the socket delivers them. Invariants:
//  - the framer hands out only memory inside its buffer, and the parser
//    reads nothing past the bytes it is given (the parse runs on an exact
//    copy, so AddressSanitizer sees any over-read);
//  - a stream of well-formed messages comes out whole and in order whatever
//    the read boundaries;
//  - a message that can never fit the buffer is rejected, never waited for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzCheck.h"
#include "ReceiveFramer.h"
#include "WireCodec.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Takes bytes off the front of the input; zeros once it is used up.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t Byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::size_t Left() const { return m_size - m_at; }
    const std::uint8_t* Rest() const { return m_data + m_at; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// What one parsed message says, compared between the two feedings.
struct Seen {
    std::uint8_t type;
    Bytes bytes;  // the message's own bytes on the wire
};

// The parser on an exact heap copy of the unparsed bytes: it must agree with
// the framer and read nothing beyond them.
void CheckParserAlone(const std::uint8_t* unparsed, std::size_t count, std::size_t framedLength) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[count]);
    std::memcpy(copy.get(), unparsed, count);
    wire::ServerMessage message;
    const wire::ParseResult result = wire::ParseServerMessage(copy.get(), count, message);
    FUZZ_CHECK(result.status == wire::ParseStatus::Complete);
    FUZZ_CHECK(result.length == framedLength);
    if (message.type == wire::kData) {
        FUZZ_CHECK(message.data == copy.get() + wire::kDataHeaderSize);
        FUZZ_CHECK(message.dataLength + wire::kDataHeaderSize == result.length);
    }
}

// Feeds stream to a framer in reads whose sizes come from the input; returns
// every message it handed out, and whether it reported an overflow.
std::vector<Seen> Feed(const Bytes& stream, Input& sizes, bool& overflowed) {
    auto framer = std::make_unique<wire::ReceiveFramer>();
    const std::uint8_t* bufferEnd = nullptr;
    std::vector<Seen> seen;
    overflowed = false;
    for (std::size_t at = 0; at < stream.size();) {
        const wire::ReceiveSpace tail = framer->WritableTail();
        if (bufferEnd == nullptr) bufferEnd = tail.data + tail.size;
        const std::uint8_t* bufferStart = bufferEnd - wire::kReceiveBufferSize;
        FUZZ_CHECK(tail.data + tail.size == bufferEnd);  // always the buffer's own tail
        FUZZ_CHECK(tail.size + framer->Unparsed() == wire::kReceiveBufferSize);
        FUZZ_CHECK(tail.size >= wire::kReceiveBufferSize - wire::kMaxServerMessage);  // room for a whole message
        std::size_t n = 1 + sizes.Byte() % 64 * 37;  // 1 .. 2332 bytes a read
        if (n > tail.size) n = tail.size;
        if (n > stream.size() - at) n = stream.size() - at;
        std::memcpy(tail.data, stream.data() + at, n);
        FUZZ_CHECK(framer->Commit(n));
        FUZZ_CHECK(!framer->Commit(tail.size - n + 1));  // more than the tail holds is refused
        at += n;
        for (;;) {
            const std::uint8_t* head = tail.data - framer->Unparsed() + n;
            const std::size_t count = framer->Unparsed();
            const wire::FrameStatus status = framer->Next();
            if (status == wire::FrameStatus::Message) {
                const std::size_t length = count - framer->Unparsed();
                FUZZ_CHECK(head >= bufferStart && head + length <= bufferEnd);
                CheckParserAlone(head, count, length);
                const wire::ServerMessage& m = framer->Last();
                if (m.type == wire::kData) FUZZ_CHECK(m.data >= bufferStart && m.data + m.dataLength <= bufferEnd);
                seen.push_back({m.type, Bytes(head, head + length)});
                continue;
            }
            if (status == wire::FrameStatus::Overflow) {
                FUZZ_CHECK(wire::DeclaredMessageLength(head, count) > wire::kMaxServerMessage ||
                           count >= wire::kMaxServerMessage);
                overflowed = true;
                return seen;
            }
            if (status == wire::FrameStatus::NeedMore) {
                // Waiting is right only for a message that can still fit.
                FUZZ_CHECK(framer->Unparsed() < wire::kMaxServerMessage);
                FUZZ_CHECK(wire::DeclaredMessageLength(head, count) <= wire::kMaxServerMessage);
            }
            break;
        }
    }
    return seen;
}

// Builds well-formed server messages from the input, each small enough to fit.
Bytes BuildStream(Input& in, std::vector<Bytes>& messages) {
    Bytes stream;
    const std::size_t count = in.Byte() % 40;
    for (std::size_t i = 0; i < count && in.Left() > 0; ++i) {
        Bytes m;
        const std::uint8_t kind = in.Byte() % 9;
        switch (kind) {
            case 0: {  // data of 0 .. 2045 bytes
                const std::size_t n = (in.Byte() << 8 | in.Byte()) % (wire::kMaxReceivableData + 1);
                m = {wire::kData, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
                for (std::size_t j = 0; j < n; ++j) m.push_back(static_cast<std::uint8_t>(j * 7 + i));
                break;
            }
            case 1: {  // disconnect with a reason text
                const std::uint8_t n = in.Byte();
                m = {wire::kDisconnect, in.Byte(), n};
                m.resize(3 + n, 'r');
                break;
            }
            case 2: {  // login accepted, with the expired flag from version 0x0300 on
                const std::uint16_t version = in.Byte() & 1 ? 0x0300 : 0x0200;
                const std::uint8_t n = in.Byte();
                m = {wire::kLoginAccepted, static_cast<std::uint8_t>(version >> 8), static_cast<std::uint8_t>(version), n};
                m.resize(4 + n, 't');
                if (version >= wire::kVersionWithExpiredFlag) m.push_back(in.Byte() & 1);
                break;
            }
            case 3: m = {wire::kSettings, 1, 2, 3, 4, 5, 6, 7, 8}; break;
            case 4: m = {wire::kModemStatus, in.Byte(), 0, 0, 0}; break;
            case 5: m = {wire::kCredentialsRequired, 0}; break;
            case 6: m = {wire::kKeepAlive, 0}; break;
            case 7: m = {wire::kPasswordChanged}; break;
            default: m = {wire::kPasswordChangeFailed}; break;
        }
        stream.insert(stream.end(), m.begin(), m.end());
        messages.push_back(std::move(m));
    }
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    bool overflowed = false;
    if (in.Byte() & 1) {
        // Well-formed messages split at any boundaries: all of them, in order,
        // and then perhaps a data message too large ever to fit, which must be
        // rejected rather than waited for.
        std::vector<Bytes> messages;
        const bool tooLarge = in.Byte() & 1;
        Bytes stream = BuildStream(in, messages);
        if (tooLarge) {
            const std::size_t n = wire::kMaxReceivableData + 1 +
                                  (in.Byte() << 8 | in.Byte()) % (wire::kMaxDataLength - wire::kMaxReceivableData);
            stream.insert(stream.end(), {wire::kData, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
            stream.resize(stream.size() + (n < 3000 ? n : 3000), 0x55);
        }
        const std::vector<Seen> seen = Feed(stream, in, overflowed);
        FUZZ_CHECK(overflowed == tooLarge);
        FUZZ_CHECK(seen.size() == messages.size());
        for (std::size_t i = 0; i < seen.size(); ++i) {
            FUZZ_CHECK(seen[i].bytes == messages[i]);
            FUZZ_CHECK(seen[i].type == messages[i][0]);
        }
    } else {
        // Any bytes at all.
        const Bytes stream(in.Rest(), in.Rest() + in.Left());
        Input sizes(data, size);
        Feed(stream, sizes, overflowed);
    }
    return 0;
}
