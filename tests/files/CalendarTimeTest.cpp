#include "files/CalendarTime.h"

#include <gtest/gtest.h>

#include <ctime>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/Environment.h"

namespace zrk {
namespace {

void resetTimeZone() {
#ifdef _WIN32
    ::_tzset();
#else
    ::tzset();
#endif
}

TEST(CalendarTime, UtcAndLocalFieldsOfOneMoment) {
    const std::tm leapDay = utcCalendarTime(951782400);  // 2000-02-29 00:00:00 UTC
    EXPECT_EQ(leapDay.tm_year, 100);
    EXPECT_EQ(leapDay.tm_mon, 1);
    EXPECT_EQ(leapDay.tm_mday, 29);
    EXPECT_EQ(leapDay.tm_hour, 0);

    std::optional<std::string> saved;
    if (const char* zone = std::getenv("TZ"))
        saved = zone;
    test::setEnvironment("TZ", "XYZ-2");  // two hours east of UTC, no summer time
    resetTimeZone();
    const std::tm local = localCalendarTime(951782400 - 3600);
    EXPECT_EQ(local.tm_mday, 29);
    EXPECT_EQ(local.tm_hour, 1);
    if (saved)
        test::setEnvironment("TZ", *saved);
    else
        test::unsetEnvironment("TZ");
    resetTimeZone();
}

}  // namespace
}  // namespace zrk
