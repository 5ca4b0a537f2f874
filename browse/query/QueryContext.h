#pragma once
// One network conversation: a datagram channel aimed at one destination, the
// request and reply buffers, the community and the retry timer. Waiting polls
// the channel until a datagram, an expired interval or the overall time-out.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "Network.h"
#include "RetryTimer.h"
#include "SnmpCodec.h"

namespace kvr::browse {

inline constexpr char kDefaultCommunity[] = "public";

class QueryContext {
public:
    // community null means "public". sendOnce: an expired interval does not
    // send the request again.
    QueryContext(std::unique_ptr<DatagramChannel> channel, std::uint16_t timeoutSeconds,
                 const char* community, bool sendOnce);

    // The SNMP request, reset to pduType with the context's community.
    snmp::Request& NewRequest(std::uint8_t pduType);
    // Encodes and sends the current request: 0, -120, or -100 when it cannot
    // be sent.
    std::int32_t SendRequest();
    // Sends raw bytes under the timer's rules: 0, or -100 when they cannot be
    // sent (-120 when they do not fit the request buffer).
    std::int32_t SendBytes(const std::uint8_t* data, std::size_t length);

    enum class Outcome { Datagram, TimedOut };
    // Waits for the next datagram, sending the request again whenever an
    // interval expires (unless sendOnce). On Datagram, Reply() holds it.
    std::int32_t WaitForReply(Outcome& outcome);
    // Waits at most waitMs, without the timer: for collections that end on
    // silence. 0 with length 0 when nothing came. At most capacity bytes of
    // a datagram are kept (up to kReplyBufferSize).
    std::int32_t ReceiveWithin(std::uint32_t waitMs, std::size_t& length,
                               std::size_t capacity = snmp::kMessageBufferSize);

    // SAP responses are the longest datagrams a search reads.
    static constexpr std::size_t kReplyBufferSize = 576;

    const std::uint8_t* Reply() const { return reply_; }
    std::size_t ReplyLength() const { return replyLength_; }
    RetryTimer& Timer() { return timer_; }
    std::uint32_t Now() { return channel_->Now(); }

private:
    std::unique_ptr<DatagramChannel> channel_;
    RetryTimer timer_;
    bool sendOnce_;
    snmp::Request request_;
    char community_[snmp::kMaxCommunity + 1] = {};
    std::size_t communityLength_ = 0;
    std::uint8_t requestBytes_[snmp::kMessageBufferSize] = {};
    std::size_t requestLength_ = 0;
    std::uint8_t reply_[kReplyBufferSize] = {};
    std::size_t replyLength_ = 0;
};

}  // namespace kvr::browse
