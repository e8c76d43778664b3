// A failing file-system step is tried three times in a row, without pause.
// Every failed try is reported; the third failure costs one more error and a
// stamped line in the task log, and the site then goes on as it sees fit.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

constexpr int retry_tries = 3;

// The texts of one retry site. Each is a format with as many %s as the step
// has paths, filled with the step's paths in the order the call takes them.
struct RetryTexts {
    const char* failed_try;  // reported after every failed try
    const char* exceeded;    // stamped into the task log after the third
};

// A report made with a text formatted from `format` and up to two paths. Call
// it straight after the failed call: the report reads the last error.
void report_formatted(Task* task, BOOL fatal, const char* format, const char* first_path = "",
                      const char* second_path = "");

// A task log line formatted from `format` and up to two paths.
void log_formatted(Task* task, BOOL stamped, const char* format, const char* first_path = "",
                   const char* second_path = "");

// Counts the exhausted step and writes its stamped exceeded line.
void report_retries_exceeded(Task* task, const RetryTexts& texts, const char* first_path,
                             const char* second_path);

// Runs `attempt` (TRUE when the call succeeded) up to three times and reports
// each failure with the site's texts. TRUE when one try succeeded.
template <typename Attempt>
BOOL retry_step(Task* task, const RetryTexts& texts, const char* first_path,
                const char* second_path, Attempt attempt)
{
    for (int tries = 0; tries < retry_tries; ++tries) {
        if (attempt()) {
            return TRUE;
        }
        report_formatted(task, FALSE, texts.failed_try, first_path, second_path);
    }
    report_retries_exceeded(task, texts, first_path, second_path);
    return FALSE;
}
