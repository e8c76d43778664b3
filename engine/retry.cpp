#include "engine/retry.h"

#include <cstdarg>
#include <cstdio>

#include "report/error_report.h"
#include "report/task_log.h"

namespace {

// Room for the longest site text with two full paths in it.
constexpr int step_text_size = 2 * MAX_PATH + 128;

// The text formatted into out; the site's own words (the format) when it
// would not fit. Paths come from MAX_PATH buffers, so this cannot happen in
// use; if a caller ever passes more, the site's words are written rather than
// a cut text, and a report still counts and reads the failed call's code.
__attribute__((format(printf, 2, 0))) const char* site_text(char* out, const char* format,
                                                            va_list arguments)
{
    int length = vsnprintf(out, step_text_size, format, arguments);
    return length >= 0 && length < step_text_size ? out : format;
}

// The format was checked where it was written: its only conversions are as
// many %s as there are values, at most two.
const char* path_text(char* out, const char* format, const char* const* values, size_t count)
{
    const char* first = count > 0 ? values[0] : "";
    const char* second = count > 1 ? values[1] : "";
    int length = snprintf(out, step_text_size, format, first, second);
    return length >= 0 && length < step_text_size ? out : format;
}

}  // namespace

namespace path_text_detail {

void report(Task* task, BOOL fatal, const char* format, const char* const* values, size_t count)
{
    char text[step_text_size];
    report_error(task, fatal, path_text(text, format, values, count));
}

void log(Task* task, BOOL stamped, const char* format, const char* const* values, size_t count)
{
    char text[step_text_size];
    write_task_log(task, stamped, path_text(text, format, values, count));
}

}  // namespace path_text_detail

void report_formatted(Task* task, BOOL fatal, const char* format, ...)
{
    char text[step_text_size];
    va_list arguments;
    va_start(arguments, format);
    const char* site = site_text(text, format, arguments);
    va_end(arguments);
    report_error(task, fatal, site);
}

void log_formatted(Task* task, BOOL stamped, const char* format, ...)
{
    char text[step_text_size];
    va_list arguments;
    va_start(arguments, format);
    const char* site = site_text(text, format, arguments);
    va_end(arguments);
    write_task_log(task, stamped, site);
}
