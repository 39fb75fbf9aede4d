#pragma once
// The rate and time left of a running operation, as the progress bar's text. The rate is taken
// over the last few seconds, so a pause (a question, a slow sector) fades out of the estimate
// instead of skewing it for the rest of a long transfer. No Qt: a plain clock drives it.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "engine/DownloaderView.h"

namespace zrk {

class ProgressRate {
  public:
    using Clock = std::chrono::steady_clock;
    // Nothing is shown for a short operation: only after this long.
    static constexpr std::chrono::milliseconds kShowAfter{3000};
    // At most this often a new text, whatever the rate of blocks.
    static constexpr std::chrono::milliseconds kEvery{250};
    static constexpr std::chrono::seconds kWindow{10};

    // A new range, counted in bytes until setUnit says otherwise.
    void start(std::uint64_t total, Clock::time_point now);
    // The same range and unit from position 0 again.
    void restart(Clock::time_point now);
    void setUnit(ProgressUnit unit) { m_Unit = unit; }
    // A new text for the bar (its percentage left to the bar's own "%p"), or nullopt when the
    // shown one should stay: too early, too soon after the last, or nothing measured yet.
    std::optional<std::string> update(std::uint64_t position, Clock::time_point now);

    // "850 B/s", "85.3 KB/s", "1.2 MB/s", "2.5 sectors/s".
    static std::string rateText(double unitsPerSecond, ProgressUnit unit);

  private:
    struct Sample {
        Clock::time_point at;
        std::uint64_t position;
    };
    std::uint64_t m_Total = 0;
    ProgressUnit m_Unit = ProgressUnit::Bytes;
    Clock::time_point m_Started{};
    std::uint64_t m_LastPosition = 0;
    std::optional<Clock::time_point> m_LastText;
    std::deque<Sample> m_Samples;
};

}  // namespace zrk
