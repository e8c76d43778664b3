// The findings of a run kept in memory for its machine-readable result: each
// error line as it is counted, and each bad copy kept as evidence. The task
// logs remain the full account; these are what a collector matches on.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "records/task.h"
#include "platform/win32.h"

struct ErrorFinding {
    time_t time;
    const Task* task;
    std::string text;
    DWORD code;  // the Win32 code; 0 for a finding without one (a compare error)
};

struct BadCopyFinding {
    const Task* task;
    std::string path;
    ULONGLONG first_difference;
};

// Any thread may record; the text is kept without its trailing line feed.
void record_error_finding(const Task* task, DWORD code, const std::string& text);
void record_bad_copy(const Task* task, const char* path, ULONGLONG first_difference);

std::vector<ErrorFinding> error_findings();
std::vector<BadCopyFinding> bad_copy_findings();
