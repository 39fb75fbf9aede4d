#include "files/CalendarTime.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace zrk {
namespace {

TEST(CalendarTime, UtcAndLocalFieldsOfOneMoment) {
    const std::tm leapDay = utcCalendarTime(951782400);  // 2000-02-29 00:00:00 UTC
    EXPECT_EQ(leapDay.tm_year, 100);
    EXPECT_EQ(leapDay.tm_mon, 1);
    EXPECT_EQ(leapDay.tm_mday, 29);
    EXPECT_EQ(leapDay.tm_hour, 0);

    std::optional<std::string> saved;
    if (const char* zone = std::getenv("TZ"))
        saved = zone;
    ::setenv("TZ", "XYZ-2", 1);  // two hours east of UTC, no summer time
    ::tzset();
    const std::tm local = localCalendarTime(951782400 - 3600);
    EXPECT_EQ(local.tm_mday, 29);
    EXPECT_EQ(local.tm_hour, 1);
    if (saved)
        ::setenv("TZ", saved->c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

}  // namespace
}  // namespace zrk
