#include "engine/ElapsedTime.h"

#include <cstdio>

#include "engine/Clock.h"

namespace zrk {

std::string formatElapsed(const std::string& pattern, std::int64_t seconds) {
    if (seconds < 0)
        seconds = 0;  // a clock set back mid-operation
    char minutes[8], secs[8];
    std::snprintf(minutes, sizeof minutes, "%02d", static_cast<int>((seconds / 60) % 60));
    std::snprintf(secs, sizeof secs, "%02d", static_cast<int>(seconds % 60));
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char c = pattern[i + 1];
            if (c == 'M' || c == 'S' || c == '%') {
                out += c == 'M' ? minutes : c == 'S' ? secs : "%";
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace zrk
