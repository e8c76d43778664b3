// The layer's clock. Every clock, timer and sleep of the layer (GetTickCount,
// Sleep, GetLocalTime, time(), window timers) reads product time, which runs
// DURANDEX_TIME_SCALE times faster than real time (1 unless set). Tests can
// also fix the calendar.
#pragma once

#include <ctime>

#include "platform/win32.h"

// Values that are not positive and finite set 1.
void clock_set_scale(double scale);
double clock_scale();

// The scales a DURANDEX_TIME_SCALE text may give: beyond them a run would
// never end (a minute of 10^308 ms) or spin (waits of no time at all).
constexpr double clock_scale_min = 0.001;
constexpr double clock_scale_max = 1000.0;
constexpr const char* clock_scale_range = "a number from 0.001 to 1000";

// Reads a DURANDEX_TIME_SCALE text: TRUE with the scale for a number in the
// range above and nothing after it.
BOOL clock_parse_scale(const char* text, double* scale);

// Product milliseconds since an arbitrary start; monotonic.
ULONGLONG clock_now_ms();

// Sleeps for product milliseconds.
void clock_sleep_ms(ULONGLONG milliseconds);

// Fixes what time() and GetLocalTime() return; null or 0 releases them.
void clock_fix_local_time(const SYSTEMTIME* local_time);
void clock_fix_time(time_t seconds);
