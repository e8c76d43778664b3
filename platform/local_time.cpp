#include "platform/json_result.h"

#include <cstdio>
#include <ctime>

std::string iso8601_local(time_t time)
{
    struct tm local {};
    localtime_r(&time, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset_minutes = local.tm_gmtoff / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char zone[48];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return std::string(text) + zone;
}
