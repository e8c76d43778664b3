#include "engine/retry.h"

#include <cstdio>

#include "report/error_report.h"
#include "report/task_log.h"

namespace {

// Room for the longest site text with two full paths in it.
constexpr int step_text_size = 2 * MAX_PATH + 128;

// The site text with both paths in it, written into out; the site's own words
// (the format) when the text would not fit.
const char* step_text(char* out, const char* format, const char* first_path, const char* second_path)
{
    int length = snprintf(out, step_text_size, format, first_path, second_path);
    return length >= 0 && length < step_text_size ? out : format;
}

}  // namespace

void report_formatted(Task* task, BOOL fatal, const char* format, const char* first_path,
                      const char* second_path)
{
    char text[step_text_size];
    // Paths come from MAX_PATH buffers, so this cannot overflow in use; if a
    // caller ever passes more, the site's own words are reported rather than a
    // cut text. The report must still count and read the failed call's code.
    report_error(task, fatal, step_text(text, format, first_path, second_path));
}

void log_formatted(Task* task, BOOL stamped, const char* format, const char* first_path,
                   const char* second_path)
{
    char text[step_text_size];
    write_task_log(task, stamped, step_text(text, format, first_path, second_path));
}

void report_retries_exceeded(Task* task, const RetryTexts& texts, const char* first_path,
                             const char* second_path)
{
    task->error_count.fetch_add(1);
    log_formatted(task, TRUE, texts.exceeded, first_path, second_path);
}
