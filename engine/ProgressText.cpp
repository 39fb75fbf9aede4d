#include "engine/ProgressText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zrk {

std::string formatBytes(double bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    else if (bytes < 1024.0 * 1024)
        std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024));
    return text;
}

std::string formatDuration(double seconds) {
    const long total = std::lround(std::max(0.0, seconds));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

}  // namespace zrk
