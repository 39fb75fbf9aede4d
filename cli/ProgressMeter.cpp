#include "cli/ProgressMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zrk::cli {

void ProgressMeter::begin(std::uint64_t total, ProgressUnit unit, double now) {
    m_Total = total;
    m_Unit = unit;
    m_HaveStart = false;
    m_StartPosition = 0;
    m_StartTime = now;
}

std::string ProgressMeter::line(std::uint64_t position, double now, int width) {
    if (!m_HaveStart) {
        m_HaveStart = true;
        m_StartPosition = position;
        m_StartTime = now;
    }
    const std::uint64_t shown = std::min(position, m_Total);
    const double fraction = m_Total ? static_cast<double>(shown) / m_Total : 1.0;
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));

    auto amount = [&](double value) {
        switch (m_Unit) {
            case ProgressUnit::Bytes:
                return formatBytes(value);
            case ProgressUnit::Kilobytes:
                return formatBytes(value * 1024);
            case ProgressUnit::Sectors:
                break;
        }
        return std::to_string(static_cast<std::uint64_t>(value));
    };
    std::string details = std::string(percent) + (m_Note.empty() ? "" : "  " + m_Note) + "  " +
                          amount(static_cast<double>(shown)) + " / " +
                          amount(static_cast<double>(m_Total));
    if (m_Unit == ProgressUnit::Sectors)
        details += " sectors";

    const double elapsed = now - m_StartTime;
    const double done = position > m_StartPosition ? double(position - m_StartPosition) : 0.0;
    if (elapsed >= 0.2 && done > 0) {
        const double rate = done / elapsed;
        if (m_Unit == ProgressUnit::Sectors) {
            char r[32];
            std::snprintf(r, sizeof r, "%.1f/s", rate);
            details += std::string("  ") + r;
        } else {
            details += "  " + amount(rate) + "/s";
        }
        if (shown < m_Total)
            details += "  " + formatDuration((m_Total - shown) / rate) + " left";
    } else if (shown < m_Total) {
        details += "  --:-- left";
    }

    // The bar's length does not follow the figures', so it does not twitch as they change.
    const int barWidth = std::min(30, width - 50);
    if (barWidth < 8 || barWidth + 3 + static_cast<int>(details.size()) > width)
        return details.substr(0, static_cast<std::size_t>(std::max(0, width)));
    const int filled = static_cast<int>(fraction * barWidth);
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(barWidth - filled), '.');
    bar += "] ";
    return bar + details;
}

}  // namespace zrk::cli
