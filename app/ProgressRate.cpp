#include "app/ProgressRate.h"

#include "engine/ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zrk {

void ProgressRate::start(std::uint64_t total, Clock::time_point now) {
    m_Total = total;
    m_Unit = ProgressUnit::Bytes;
    restart(now);
}

void ProgressRate::restart(Clock::time_point now) {
    m_Started = now;
    m_LastText.reset();
    m_LastPosition = 0;
    m_Samples.assign(1, Sample{now, 0});
}

std::optional<std::string> ProgressRate::update(std::uint64_t position, Clock::time_point now) {
    // Progress that goes back (a verify after the download, a retried part) starts the count
    // again from here. Otherwise a sample is kept only every kEvery: a fast transfer reports
    // thousands of blocks a second, and the window needs a few dozen points, not all of them.
    if (position < m_LastPosition)
        m_Samples.assign(1, Sample{now, position});
    else if (m_Samples.empty() || now - m_Samples.back().at >= kEvery)
        m_Samples.push_back(Sample{now, position});
    m_LastPosition = position;
    while (m_Samples.size() > 2 && now - m_Samples[1].at >= kWindow)
        m_Samples.pop_front();

    const bool finished = m_Total > 0 && position >= m_Total;
    if (now - m_Started < kShowAfter)
        return std::nullopt;
    if (!finished && m_LastText && now - *m_LastText < kEvery)
        return std::nullopt;
    const Sample oldest = finished ? Sample{m_Started, 0} : m_Samples.front();
    const double seconds = std::chrono::duration<double>(now - oldest.at).count();
    if (seconds <= 0.0 || position <= oldest.position)
        return std::nullopt;
    const double rate = static_cast<double>(position - oldest.position) / seconds;
    m_LastText = now;

    std::string text = "%p%  \u00b7  " + rateText(rate, m_Unit);
    if (!finished && m_Total > position) {
        const double left = static_cast<double>(m_Total - position) / rate;
        text += "  \u00b7  " + formatDuration(std::ceil(left)) + " left";
    }
    return text;
}

std::string ProgressRate::rateText(double unitsPerSecond, ProgressUnit unit) {
    if (unit == ProgressUnit::Sectors) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%.1f sectors/s", unitsPerSecond);
        return buffer;
    }
    return formatBytes(unit == ProgressUnit::Kilobytes ? unitsPerSecond * 1024.0 : unitsPerSecond) +
           "/s";
}

}  // namespace zrk
