#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/settings.h"

namespace {

class ClockTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        clock_set_scale(1.0);
        clock_fix_time(0);
        clock_fix_local_time(nullptr);
    }
};

// A refused text leaves the scale alone; a refused variable is told and time
// runs at real speed (in a fresh process, so the clock meets it at first use).
TEST(ClockScaleText, AcceptsPositiveNumbersOnly)
{
    double scale = 0.0;
    EXPECT_TRUE(clock_parse_scale("0.25", &scale));
    for (const char* bad : {"", "0", "-2", "fast", "10x", " ", "nan", "inf", "1e999", static_cast<const char*>(nullptr)}) {
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
        "DURANDEX_TIME_SCALE: malformed value \"quick\": expected a positive number; time runs at real speed");
}

// A minute of product time at scale 1000 is 60 ms of real time; unscaled it
// would take the whole minute. The bound is loose on purpose: it only tells
// scaled from unscaled. Going back to scale 1 never turns time back.
TEST_F(ClockTest, ScaleAppliesToSleepTickCountAndTime)
{
    clock_set_scale(1000.0);
    const auto real_start = std::chrono::steady_clock::now();
    const DWORD ticks_before = GetTickCount();
    const ULONGLONG product_before = clock_now_ms();
    const time_t seconds_before = time(nullptr);
    Sleep(60000);
    const ULONGLONG fast = clock_now_ms();
    const time_t fast_seconds = time(nullptr);
    EXPECT_GE(fast - product_before, 60000u);
    EXPECT_GE(static_cast<DWORD>(GetTickCount() - ticks_before), 60000u);
    EXPECT_GE(fast_seconds - seconds_before, 60);
    const std::chrono::duration<double> real = std::chrono::steady_clock::now() - real_start;
    EXPECT_TRUE(real.count() >= 0.055 && real.count() < 30.0) << real.count() << " s";
    clock_set_scale(1.0);
    EXPECT_GE(clock_now_ms(), fast);
    EXPECT_GE(time(nullptr), fast_seconds);
}

// A fixed calendar does not run; a fixed local time is returned whole.
TEST_F(ClockTest, FixedTimeAndLocalTimeAreWhatTheClockGivesUntilReleased)
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
    EXPECT_GT(time(nullptr), 1700000000);
    SYSTEMTIME fixed{1999, 12, 5, 31, 23, 59, 58, 999};
    clock_fix_local_time(&fixed);
    GetLocalTime(&local);
    EXPECT_EQ(std::memcmp(&local, &fixed, sizeof fixed), 0);
    clock_fix_local_time(nullptr);
    GetLocalTime(&local);
    EXPECT_GE(local.wYear, 2024);
}

}  // namespace
