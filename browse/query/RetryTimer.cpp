#include "RetryTimer.h"

#include <algorithm>
#include <iterator>

namespace kvr::browse {

namespace {

// Back-off factor by expiry count. Past the table the last factor holds, so a
// long limit keeps backing off instead of reading beyond it.
constexpr std::uint32_t kBackOff[] = {1, 2, 4, 8, 16};
constexpr std::uint32_t kMaxIntervalSeconds = 0xFFFF;

std::uint32_t BackOffFor(std::uint32_t expiries) {
    return kBackOff[std::min<std::uint32_t>(expiries, std::size(kBackOff) - 1)];
}

}  // namespace

RetryTimer::RetryTimer(std::uint16_t limitSeconds)
    : limit_(limitSeconds == 0 ? kDefaultLimitSeconds : limitSeconds) {}

void RetryTimer::Clear() {
    expiries_ = 0;
    start_ = 0;
    lastSend_ = 0;
}

void RetryTimer::BeforeSend(std::uint32_t now) {
    lastSend_ = now;
    if (expiries_ > 0) {
        interval_ = std::min(interval_ * BackOffFor(expiries_), kMaxIntervalSeconds);
    } else if (saved_ > 0) {
        interval_ = saved_;
        saved_ = 0;
    } else {
        start_ = now;
        interval_ = kBaseIntervalSeconds;
    }
}

void RetryTimer::OnData() { saved_ = expiries_ > 0 ? interval_ : 0; }

RetryTimer::State RetryTimer::Check(std::uint32_t now) {
    // Unsigned differences stay right across a tick-count wrap.
    if (now - start_ > limit_ * 1000) return State::TimedOut;
    if (now - lastSend_ > interval_ * 1000) {
        ++expiries_;
        return State::IntervalExpired;
    }
    return State::Waiting;
}

std::uint32_t RetryTimer::MillisToLimit(std::uint32_t now) const {
    const std::uint32_t sinceStart = now - start_;
    return sinceStart > limit_ * 1000 ? 0 : limit_ * 1000 - sinceStart + 1;
}

std::uint32_t RetryTimer::MillisToNextEvent(std::uint32_t now) const {
    const std::uint32_t toLimit = MillisToLimit(now);
    const std::uint32_t sinceSend = now - lastSend_;
    const std::uint32_t toExpiry =
        sinceSend > interval_ * 1000 ? 0 : interval_ * 1000 - sinceSend + 1;
    return std::min(toLimit, toExpiry);
}

}  // namespace kvr::browse
