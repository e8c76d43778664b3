#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/settings.h"

namespace {

// A refused text leaves the scale alone; a refused variable is told and time
// runs at real speed (in a fresh process, so the clock meets it at first use).
TEST(ClockScaleText, AcceptsNumbersFromAThousandthToAThousandOnly)
{
    double scale = 0.0;
    EXPECT_TRUE(clock_parse_scale("0.001", &scale) && clock_parse_scale("1000", &scale));
    EXPECT_TRUE(clock_parse_scale("0.25", &scale));
    for (const char* bad : {"", "0", "-2", "fast", "10x", "nan", "inf", "1e999", "0.0001", "1e-300", "1000.5",
                            "1e308", static_cast<const char*>(nullptr)}) {
        EXPECT_FALSE(clock_parse_scale(bad, &scale)) << (bad != nullptr ? bad : "null");
        EXPECT_DOUBLE_EQ(scale, 0.25);
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setting_override(Setting::TimeScale, "quick");
            std::exit(clock_scale() == 1.0 ? 3 : 4);
        },
        ::testing::ExitedWithCode(3),
        "DURANDEX_TIME_SCALE: malformed value \"quick\": expected a number from 0.001 to 1000; time runs at real speed");
}

// A fixed calendar does not run, and local time follows it.
TEST(ClockTest, FixedTimeIsWhatTheClockGivesUntilReleased)
{
    const char* found_zone = std::getenv("TZ");
    const std::string old_zone = found_zone != nullptr ? found_zone : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    clock_fix_time(1700000000);  // Tuesday 14 November 2023, 22:13:20 UTC
    clock_set_scale(1000.0);
    Sleep(3000);
    time_t stored = 0;
    EXPECT_EQ(time(&stored), 1700000000);
    EXPECT_EQ(stored, 1700000000);
    SYSTEMTIME local{};
    GetLocalTime(&local);
    found_zone != nullptr ? setenv("TZ", old_zone.c_str(), 1) : unsetenv("TZ");
    tzset();
    const SYSTEMTIME expected{2023, 11, 2, 14, 22, 13, 20, 0};
    EXPECT_EQ(std::memcmp(&local, &expected, sizeof expected), 0)
        << local.wYear << '-' << local.wMonth << '-' << local.wDay << " (" << local.wDayOfWeek << ") "
        << local.wHour << ':' << local.wMinute << ':' << local.wSecond << '.' << local.wMilliseconds;
    clock_fix_time(0);
    clock_set_scale(1.0);
    EXPECT_GT(time(nullptr), 1700000000);
}

}  // namespace
