#pragma once
// The calendar fields of a moment, in the user's time zone or in UTC. Unlike std::localtime
// and std::gmtime these share no buffer, so threads may call them at once.
#include <ctime>

namespace zrk {

std::tm localCalendarTime(std::time_t moment);
std::tm utcCalendarTime(std::time_t moment);

}  // namespace zrk
