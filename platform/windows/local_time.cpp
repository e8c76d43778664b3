#include "platform/json_result.h"

#include <cstdio>
#include <ctime>

std::string iso8601_local(time_t time)
{
    struct tm local {};
    localtime_s(&local, &time);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    // The local time read as if it were UTC, less the time itself: the
    // offset in force at that moment, daylight saving included.
    struct tm as_utc = local;
    const long offset_minutes = static_cast<long>(_mkgmtime(&as_utc) - time) / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char zone[48];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return std::string(text) + zone;
}
