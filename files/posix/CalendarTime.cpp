#include "files/CalendarTime.h"

namespace zrk {

std::tm localCalendarTime(std::time_t moment) {
    std::tm out{};
    ::localtime_r(&moment, &out);
    return out;
}

std::tm utcCalendarTime(std::time_t moment) {
    std::tm out{};
    ::gmtime_r(&moment, &out);
    return out;
}

}  // namespace zrk
