#include "QueryContext.h"

#include <algorithm>
#include <cstring>

#include "BrowseErrors.h"

namespace kvr::browse {

namespace {

// Longest single wait, so a slow channel still sees the timer often.
constexpr std::uint32_t kMaxWaitMs = 250;

}  // namespace

QueryContext::QueryContext(std::unique_ptr<DatagramChannel> channel, std::uint16_t timeoutSeconds,
                           const char* community, bool sendOnce)
    : channel_(std::move(channel)), timer_(timeoutSeconds), sendOnce_(sendOnce) {
    const char* text = community ? community : kDefaultCommunity;
    // A community too long for a request is kept whole, so encoding refuses it
    // instead of sending a shortened one.
    communityLength_ = strnlen(text, sizeof community_);
    std::memcpy(community_, text, std::min(communityLength_, sizeof community_ - 1));
    NewRequest(snmp::kGetRequest);
}

snmp::Request& QueryContext::NewRequest(std::uint8_t pduType) {
    request_.Reset(pduType);
    request_.SetCommunity(community_, communityLength_);
    return request_;
}

std::int32_t QueryContext::SendRequest() {
    const std::int32_t encoded = request_.Encode(requestBytes_, sizeof requestBytes_, requestLength_);
    if (encoded != kHlpOk) return encoded;
    return SendBytes(requestBytes_, requestLength_);
}

std::int32_t QueryContext::SendBytes(const std::uint8_t* data, std::size_t length) {
    if (data != requestBytes_) {
        if (length > sizeof requestBytes_) return kHlpUnencodable;
        std::memcpy(requestBytes_, data, length);
        requestLength_ = length;
    }
    timer_.BeforeSend(channel_->Now());
    // A request that cannot go out has its own code, whatever the socket said.
    return channel_->Send(requestBytes_, requestLength_) == kHlpOk ? kHlpOk : kHlpUndecodable;
}

std::int32_t QueryContext::WaitForReply(Outcome& outcome) {
    for (;;) {
        const std::uint32_t now = channel_->Now();
        switch (timer_.Check(now)) {
        case RetryTimer::State::TimedOut:
            outcome = Outcome::TimedOut;
            return kHlpOk;
        case RetryTimer::State::IntervalExpired:
            if (!sendOnce_) {
                const std::int32_t sent = SendBytes(requestBytes_, requestLength_);
                if (sent != kHlpOk) return sent;
            }
            break;
        case RetryTimer::State::Waiting:
            break;
        }
        // A request sent once waits for the limit alone.
        const std::uint32_t later = channel_->Now();
        const std::uint32_t next =
            sendOnce_ ? timer_.MillisToLimit(later) : timer_.MillisToNextEvent(later);
        const std::uint32_t wait = std::clamp<std::uint32_t>(next, 1, kMaxWaitMs);
        std::size_t length = 0;
        const std::int32_t received = ReceiveWithin(wait, length);
        if (received != kHlpOk) return received;
        if (length > 0) {
            timer_.OnData();
            outcome = Outcome::Datagram;
            return kHlpOk;
        }
    }
}

std::int32_t QueryContext::ReceiveWithin(std::uint32_t waitMs, std::size_t& length,
                                         std::size_t capacity) {
    length = 0;
    const std::int32_t received =
        channel_->Receive(reply_, std::min(capacity, sizeof reply_), length, waitMs);
    replyLength_ = received == kHlpOk ? length : 0;
    return received;
}

}  // namespace kvr::browse
