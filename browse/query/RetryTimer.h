#pragma once
// When a query sends its request again and when it gives up. Times are
// milliseconds of the system tick count, passed in by the caller so the rules
// can be driven by a fake clock; intervals and the limit are in seconds.
#include <cstdint>

namespace kvr::browse {

class RetryTimer {
public:
    enum class State { Waiting, IntervalExpired, TimedOut };

    static constexpr std::uint32_t kBaseIntervalSeconds = 5;
    static constexpr std::uint32_t kDefaultLimitSeconds = 300;

    // limitSeconds 0 means kDefaultLimitSeconds.
    explicit RetryTimer(std::uint16_t limitSeconds);

    // Forgets the sends and expiries so far (the interval carried over from a
    // reply stays).
    void Clear();
    void BeforeSend(std::uint32_t now);
    void OnData();
    // Counts an expired interval each time it reports one.
    State Check(std::uint32_t now);
    // How long until Check can next change its answer.
    std::uint32_t MillisToNextEvent(std::uint32_t now) const;
    std::uint32_t MillisToLimit(std::uint32_t now) const;

    std::uint32_t IntervalSeconds() const { return interval_; }
    std::uint32_t Expiries() const { return expiries_; }

private:
    std::uint32_t limit_;
    std::uint32_t start_ = 0;
    std::uint32_t lastSend_ = 0;
    std::uint32_t expiries_ = 0;
    std::uint32_t interval_ = kBaseIntervalSeconds;
    std::uint32_t saved_ = 0;
};

}  // namespace kvr::browse
