// Text forms shared by the logs: whole formatted strings and the date and
// time as every log writes it.
#pragma once

#include <string>

#include "platform/win32.h"

// The formatted text at its full length, never cut to a buffer.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "month/day/year, hour:minute", the minute with two digits.
std::string date_time_text(const SYSTEMTIME& time);
