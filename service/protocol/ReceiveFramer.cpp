#include "ReceiveFramer.h"

#include <cstring>

namespace wire {

ReceiveSpace ReceiveFramer::WritableTail() {
    KeepRest();
    std::memset(buf_ + end_, 0, kReceiveBufferSize - end_);
    return {buf_ + end_, kReceiveBufferSize - end_};
}

bool ReceiveFramer::Commit(std::size_t n) {
    if (n > kReceiveBufferSize - end_) return false;
    end_ += n;
    return true;
}

void ReceiveFramer::Reset() {
    pos_ = 0;
    end_ = 0;
}

void ReceiveFramer::KeepRest() {
    if (pos_ == 0) return;
    const std::size_t rest = end_ - pos_;
    if (rest != 0) std::memmove(buf_, buf_ + pos_, rest);
    pos_ = 0;
    end_ = rest;
}

ReceiveFramer::Step ReceiveFramer::ParseNext() {
    const std::size_t count = end_ - pos_;
    if (count == 0) return Step::Drained;
    // A message longer than the largest the service takes is refused as soon
    // as its header is in, even when all of it has arrived in one read.
    if (DeclaredMessageLength(buf_ + pos_, count) > kMaxServerMessage) return Step::Overflow;
    const ParseResult result = ParseServerMessage(buf_ + pos_, count, last_);
    switch (result.status) {
        case ParseStatus::Complete:
            pos_ += result.length;
            return Step::Message;
        case ParseStatus::Unknown:
            return Step::Discarded;
        case ParseStatus::Incomplete:
            break;
    }
    // A rest as long as the largest message that is still incomplete can
    // never complete: waiting for more would stall the session.
    return count >= kMaxServerMessage ? Step::Overflow : Step::Drained;
}

FrameStatus ReceiveFramer::Next() {
    switch (ParseNext()) {
        case Step::Message: return FrameStatus::Message;
        case Step::Discarded: Reset(); return FrameStatus::Discarded;
        case Step::Overflow: Reset(); return FrameStatus::Overflow;
        default: return FrameStatus::NeedMore;
    }
}

DrainStatus ReceiveFramer::Finish(Step step) {
    switch (step) {
        case Step::Discarded:
            Reset();
            return DrainStatus::Discarded;
        case Step::Overflow:
            Reset();
            return DrainStatus::Overflow;
        default:
            KeepRest();
            return DrainStatus::Drained;
    }
}

}  // namespace wire
