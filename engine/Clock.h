#pragma once
// Wall-clock time for the elapsed-time lines and the phone's time packet; injectable so both
// can be tested.
#include <cstdint>
#include <ctime>

#include "files/CalendarTime.h"

namespace zrk {

class Clock {
  public:
    virtual ~Clock() = default;
    virtual std::int64_t nowSeconds() = 0;  // calendar time in seconds
    virtual std::tm localTime() = 0;        // the local calendar time now
};

class SystemClock : public Clock {
  public:
    std::int64_t nowSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }
    std::tm localTime() override { return localCalendarTime(std::time(nullptr)); }
};

Clock& systemClock();

}  // namespace zrk
