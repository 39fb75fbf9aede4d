#pragma once
// How long a front end waits for the phone: a wait is over when no reply was accepted for the
// silence limit (SerialLink::repliesAccepted counts them); bytes that no exchange took do not
// count, so a babbling device is as good as a silent one. The command line's --timeout and the
// window's explorer share the limit's default.
#include <chrono>
#include <cstdint>

namespace zrk {

inline constexpr std::chrono::seconds kDefaultSilenceLimit{30};

class SilenceWatch {
  public:
    using Clock = std::chrono::steady_clock;

    // Zero waits for ever.
    void setLimit(std::chrono::milliseconds limit) { m_Limit = limit; }
    std::chrono::milliseconds limit() const { return m_Limit; }

    // The wait (re)starts now; accepted: the link's count of accepted replies.
    void restart(std::uint64_t accepted, Clock::time_point now) {
        m_Accepted = accepted;
        m_Since = now;
    }
    // True once the limit has passed since the last accepted reply (or restart).
    bool silent(std::uint64_t accepted, Clock::time_point now) {
        if (accepted != m_Accepted)
            restart(accepted, now);
        return m_Limit.count() > 0 && now - m_Since >= m_Limit;
    }

  private:
    std::chrono::milliseconds m_Limit = kDefaultSilenceLimit;
    std::uint64_t m_Accepted = 0;
    Clock::time_point m_Since = Clock::now();
};

}  // namespace zrk
