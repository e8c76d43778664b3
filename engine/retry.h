// A failing file-system step is tried three times in a row, without pause.
// Every failed try is reported; the third failure costs one more error and a
// stamped line in the task log, and the site then goes on as it sees fit.
#pragma once

#include <array>
#include <cstddef>

#include "records/task.h"
#include "platform/win32.h"

constexpr int retry_tries = 3;

// The number of %s in `format`, or -1 when it holds any other conversion
// (a lone % at its end included); %% stands for itself.
constexpr int path_conversions(const char* format)
{
    int count = 0;
    for (const char* at = format; *at != '\0'; ++at) {
        if (*at != '%') {
            continue;
        }
        ++at;
        if (*at == 's') {
            ++count;
        } else if (*at != '%') {
            return -1;
        }
    }
    return count;
}

// A site text kept as data, filled later with the step's paths in the order
// the call takes them. It is checked where it is written: a text with another
// conversion than %s, or with another number of them than `paths`, does not
// compile.
template <size_t paths>
struct PathFormat {
    static_assert(paths <= 2, "a step names at most two paths");

    consteval PathFormat(const char* format) : text(format)
    {
        if (path_conversions(format) != static_cast<int>(paths)) {
            throw "a site text must hold one %s for each of its step's paths and no other conversion";
        }
    }

    const char* text;
};

template <size_t paths>
using StepPaths = std::array<const char*, paths>;

// The texts of one retry site, each filled with the step's paths.
template <size_t paths>
struct RetryTexts {
    PathFormat<paths> failed_try;  // reported after every failed try
    PathFormat<paths> exceeded;    // stamped into the task log after the third
};

// What the templates below share; callers use the templates, which check the
// format against the paths.
namespace path_text_detail {
void report(Task* task, BOOL fatal, const char* format, const char* const* values, size_t count);
void log(Task* task, BOOL stamped, const char* format, const char* const* values, size_t count);
}  // namespace path_text_detail

// A report made with `format` filled with `values`. Call it straight after
// the failed call: the report reads the last error.
template <size_t paths>
void report_step(Task* task, BOOL fatal, const PathFormat<paths>& format, const StepPaths<paths>& values)
{
    path_text_detail::report(task, fatal, format.text, values.data(), paths);
}

// A task log line made with `format` filled with `values`.
template <size_t paths>
void log_step(Task* task, BOOL stamped, const PathFormat<paths>& format, const StepPaths<paths>& values)
{
    path_text_detail::log(task, stamped, format.text, values.data(), paths);
}

// A report made with a text formatted from `format`. Call it straight after
// the failed call: the report reads the last error.
__attribute__((format(printf, 3, 4))) void report_formatted(Task* task, BOOL fatal, const char* format,
                                                            ...);

// A task log line formatted from `format`.
__attribute__((format(printf, 3, 4))) void log_formatted(Task* task, BOOL stamped, const char* format,
                                                         ...);

// Runs `attempt` (TRUE when the call succeeded) up to three times and reports
// each failure with the site's texts. TRUE when one try succeeded.
template <size_t paths, typename Attempt>
BOOL retry_step(Task* task, const RetryTexts<paths>& texts, const StepPaths<paths>& values,
                Attempt attempt)
{
    for (int tries = 0; tries < retry_tries; ++tries) {
        if (attempt()) {
            return TRUE;
        }
        report_step(task, FALSE, texts.failed_try, values);
    }
    // The exhausted step counts once more.
    raise_error_count(task);
    log_step(task, TRUE, texts.exceeded, values);
    return FALSE;
}
