#include "files/CalendarTime.h"

namespace zrk {

std::tm localCalendarTime(std::time_t moment) {
    std::tm out{};
    ::localtime_s(&out, &moment);
    return out;
}

std::tm utcCalendarTime(std::time_t moment) {
    std::tm out{};
    ::gmtime_s(&out, &moment);
    return out;
}

}  // namespace zrk
