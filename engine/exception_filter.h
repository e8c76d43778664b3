// The one exception filter of all workers: counts and logs each structured
// exception of a task and lets the first ten continuable ones run again.
#pragma once

#include "engine/retry.h"
#include "records/task.h"
#include "platform/win32.h"

// Exceptions a task may have continued over its whole life.
constexpr DWORD continued_exception_limit = 10;

// EXCEPTION_CONTINUE_EXECUTION to repeat the faulting access, or
// EXCEPTION_EXECUTE_HANDLER to leave the pass for the worker's recovery.
LONG filter_exception(Task* task, DWORD code, EXCEPTION_POINTERS* info);

// A worker's guard: its task, and the code of the exception the filter saw
// last, which the recovery reports.
struct TaskGuard {
    Task* task;
    DWORD exception_code;
};

// The filter in the shape a guarded pass takes; `guard` is the worker's
// TaskGuard.
LONG filter_task_exception(void* guard, DWORD code, EXCEPTION_POINTERS* info);

// The recovery after the filter chose it: one more error, then a fatal report
// with `text_format` filled with the source and target root paths, then the
// status cell's display context given back if the worker held it. An in-page
// error is reported as the device error it stands for (ERROR_CRC), so that a
// bad sector sends the task to Cleanup and reaches the event log. The worker
// releases whatever else its pass held.
void recover_from_exception(const TaskGuard* guard, const PathFormat<2>& text_format);
