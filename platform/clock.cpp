#include "platform/clock.h"

#include <cerrno>
#include <cmath>
#include <ctime>
#include <mutex>

#include "platform/settings.h"

namespace {

// Product time is real monotonic time stretched by the scale. A change of
// scale re-anchors the line, so product time never jumps or runs backwards.
struct ClockState {
    double scale = 1.0;
    double real_anchor_ms = 0.0;     // monotonic real time at the anchor
    double product_anchor_ms = 0.0;  // product time at the anchor
    double product_origin_ms = 0.0;  // product time when the calendar was read
    double calendar_origin_ms = 0.0; // real calendar time at that moment
    time_t fixed_time = 0;
    bool local_time_fixed = false;
    SYSTEMTIME fixed_local_time = {};
};

std::mutex clock_mutex;

double real_monotonic_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

double real_calendar_ms()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

bool valid_scale(double scale)
{
    return std::isfinite(scale) && scale > 0.0;
}

double scale_from_environment()
{
    const std::string text = setting_text(Setting::TimeScale);
    if (text.empty()) {
        return 1.0;
    }
    double scale = 1.0;
    if (!clock_parse_scale(text.c_str(), &scale)) {
        setting_report(setting_problem(Setting::TimeScale, "value", text, clock_scale_range),
                       "time runs at real speed");
        return 1.0;
    }
    return scale;
}

ClockState make_initial_state()
{
    ClockState state;
    state.scale = scale_from_environment();
    // Starting from the machine's uptime makes GetTickCount look like it does
    // on Windows.
    state.real_anchor_ms = real_monotonic_ms();
    state.product_anchor_ms = state.real_anchor_ms;
    state.product_origin_ms = state.product_anchor_ms;
    state.calendar_origin_ms = real_calendar_ms();
    return state;
}

// Callers hold clock_mutex.
ClockState& locked_state()
{
    static ClockState state = make_initial_state();
    return state;
}

double product_ms_locked(const ClockState& state)
{
    return state.product_anchor_ms + (real_monotonic_ms() - state.real_anchor_ms) * state.scale;
}

double product_now_ms()
{
    std::lock_guard<std::mutex> lock(clock_mutex);
    return product_ms_locked(locked_state());
}

// Milliseconds since 1970 in product time: the real calendar time at start
// plus the product time elapsed since, unless a test fixed the calendar.
double product_calendar_ms()
{
    std::lock_guard<std::mutex> lock(clock_mutex);
    const ClockState& state = locked_state();
    if (state.fixed_time != 0) {
        return static_cast<double>(state.fixed_time) * 1000.0;
    }
    return state.calendar_origin_ms + (product_ms_locked(state) - state.product_origin_ms);
}

time_t product_calendar_seconds()
{
    return static_cast<time_t>(std::floor(product_calendar_ms() / 1000.0));
}

void sleep_real_ms(double milliseconds)
{
    if (milliseconds <= 0.0) {
        return;
    }
    timespec duration{};
    duration.tv_sec = static_cast<time_t>(milliseconds / 1000.0);
    duration.tv_nsec = static_cast<long>((milliseconds - static_cast<double>(duration.tv_sec) * 1000.0) * 1e6);
    while (nanosleep(&duration, &duration) != 0 && errno == EINTR) {
    }
}

// Sleeps until product time reaches target; re-checks after each real sleep
// so that a scale changed meanwhile is honoured.
void sleep_until_product_ms(double target_ms)
{
    for (;;) {
        double now_ms = 0.0;
        double scale = 1.0;
        {
            std::lock_guard<std::mutex> lock(clock_mutex);
            const ClockState& state = locked_state();
            now_ms = product_ms_locked(state);
            scale = state.scale;
        }
        if (now_ms >= target_ms) {
            return;
        }
        sleep_real_ms((target_ms - now_ms) / scale);
    }
}

void fill_systemtime(const tm& calendar, WORD milliseconds, SYSTEMTIME* out)
{
    out->wYear = static_cast<WORD>(calendar.tm_year + 1900);
    out->wMonth = static_cast<WORD>(calendar.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(calendar.tm_wday);
    out->wDay = static_cast<WORD>(calendar.tm_mday);
    out->wHour = static_cast<WORD>(calendar.tm_hour);
    out->wMinute = static_cast<WORD>(calendar.tm_min);
    out->wSecond = static_cast<WORD>(calendar.tm_sec);
    out->wMilliseconds = milliseconds;
}

}  // namespace

BOOL clock_parse_scale(const char* text, double* scale)
{
    if (text == nullptr) {
        return FALSE;
    }
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !valid_scale(value) || value < clock_scale_min ||
        value > clock_scale_max) {
        return FALSE;
    }
    *scale = value;
    return TRUE;
}

void clock_set_scale(double scale)
{
    std::lock_guard<std::mutex> lock(clock_mutex);
    ClockState& state = locked_state();
    double real_now = real_monotonic_ms();
    state.product_anchor_ms = state.product_anchor_ms + (real_now - state.real_anchor_ms) * state.scale;
    state.real_anchor_ms = real_now;
    state.scale = valid_scale(scale) ? scale : 1.0;
}

double clock_scale()
{
    std::lock_guard<std::mutex> lock(clock_mutex);
    return locked_state().scale;
}

ULONGLONG clock_now_ms()
{
    return static_cast<ULONGLONG>(product_now_ms());
}

void clock_sleep_ms(ULONGLONG milliseconds)
{
    sleep_until_product_ms(product_now_ms() + static_cast<double>(milliseconds));
}

void clock_fix_local_time(const SYSTEMTIME* local_time)
{
    std::lock_guard<std::mutex> lock(clock_mutex);
    ClockState& state = locked_state();
    state.local_time_fixed = local_time != nullptr;
    state.fixed_local_time = local_time != nullptr ? *local_time : SYSTEMTIME{};
}

void clock_fix_time(time_t seconds)
{
    std::lock_guard<std::mutex> lock(clock_mutex);
    locked_state().fixed_time = seconds;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            sleep_real_ms(3600.0 * 1000.0);
        }
    }
    clock_sleep_ms(dwMilliseconds);
}

DWORD WINAPI GetTickCount(void)
{
    // Wraps after 49.7 product days, as on Windows.
    return static_cast<DWORD>(clock_now_ms());
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    {
        std::lock_guard<std::mutex> lock(clock_mutex);
        const ClockState& state = locked_state();
        if (state.local_time_fixed) {
            *lpSystemTime = state.fixed_local_time;
            return;
        }
    }
    double calendar_ms = product_calendar_ms();
    double whole_seconds = std::floor(calendar_ms / 1000.0);
    time_t seconds = static_cast<time_t>(whole_seconds);
    tm calendar{};
    localtime_r(&seconds, &calendar);
    fill_systemtime(calendar, static_cast<WORD>(calendar_ms - whole_seconds * 1000.0), lpSystemTime);
}

// The link wraps time(), so the run clock and every stamp made from it follow
// product time.
extern "C" time_t __wrap_time(time_t* result)
{
    time_t seconds = product_calendar_seconds();
    if (result != nullptr) {
        *result = seconds;
    }
    return seconds;
}
