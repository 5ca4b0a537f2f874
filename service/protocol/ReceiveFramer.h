#pragma once
// Frames the server's byte stream into messages in the session's fixed
// receive buffer: socket reads append after the unparsed bytes, Drain hands
// out every complete message in order and keeps an incomplete rest at the
// start of the buffer for the next read to complete.
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "WireCodec.h"

namespace wire {

// The largest message the service takes (a data message of 2045 bytes): what
// a receive buffer of 2048 bytes holds whole. A larger one can never complete.
constexpr std::size_t kMaxServerMessage = 2048;
constexpr std::size_t kMaxReceivableData = kMaxServerMessage - kDataHeaderSize;
// The buffer itself has room for several such messages, so that one receive
// takes in several of them.
constexpr std::size_t kReceiveBufferSize = 4 * kMaxServerMessage;

enum class DrainStatus {
    Drained,    // every complete message handled; an incomplete rest is kept
    Stopped,    // the handler asked to stop; the unhandled bytes are kept
    Discarded,  // an unknown type: all unparsed bytes were thrown away
    Overflow,   // a message larger than the buffer: it can never complete,
                // everything unparsed was thrown away and the stream is lost
};

enum class FrameStatus {
    Message,    // a complete message is in Last()
    NeedMore,   // none is complete; an incomplete rest is kept for the next read
    Discarded,  // an unknown type: all unparsed bytes were thrown away
    Overflow,   // a message larger than kMaxServerMessage: everything unparsed
                // was thrown away and the stream is lost
};

struct ReceiveSpace {
    std::uint8_t* data;
    std::size_t size;
};

class ReceiveFramer {
public:
    // Where the next socket read goes: after the unparsed bytes up to the end
    // of the buffer, zeroed first. Size 0 only when the buffer is full.
    ReceiveSpace WritableTail();

    // Counts n bytes read into the tail as unparsed. False, and nothing
    // counted, if n is more than the tail holds.
    bool Commit(std::size_t n);

    // Takes the next complete message into Last(). Its data point into the
    // buffer and stay valid until the next WritableTail.
    FrameStatus Next();

    // Hands every complete message to handler(const ServerMessage&) in order.
    // A handler returning bool stops the drain by returning false; the
    // message it was given counts as handled. The message's data point into
    // the buffer and stay valid only during the call.
    template <class Handler>
    DrainStatus Drain(Handler&& handler) {
        for (;;) {
            const Step step = ParseNext();
            if (step != Step::Message) return Finish(step);
            if constexpr (std::is_same_v<std::invoke_result_t<Handler&, const ServerMessage&>, bool>) {
                if (!handler(static_cast<const ServerMessage&>(last_))) {
                    KeepRest();
                    return DrainStatus::Stopped;
                }
            } else {
                handler(static_cast<const ServerMessage&>(last_));
            }
        }
    }

    // Forgets every unparsed byte; for a new connection, whose stream must not
    // be prefixed by the rest of the old one.
    void Reset();

    std::size_t Unparsed() const { return end_ - pos_; }
    const ServerMessage& Last() const { return last_; }

private:
    enum class Step { Message, Drained, Discarded, Overflow };

    Step ParseNext();
    DrainStatus Finish(Step step);
    void KeepRest();

    std::uint8_t buf_[kReceiveBufferSize] = {};
    std::size_t pos_ = 0;  // parse position
    std::size_t end_ = 0;  // end of the bytes read
    ServerMessage last_;
};

}  // namespace wire
