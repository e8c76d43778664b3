#include "report/log_text.h"

#include <cstdarg>
#include <cstdio>

std::string format_text(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, arguments);
    }
    va_end(arguments);
    return text;
}

std::string date_time_text(const SYSTEMTIME& time)
{
    return format_text("%lu/%lu/%lu, %lu:%02lu", (unsigned long)time.wMonth, (unsigned long)time.wDay,
                       (unsigned long)time.wYear, (unsigned long)time.wHour,
                       (unsigned long)time.wMinute);
}
