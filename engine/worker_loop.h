// The life of every worker thread, written once: the error mode, the wait
// while the task is Starting, the first pause point, the main loop whose
// passes run under the task's exception guard with the worker's recovery
// after an abandoned pass, the shutdown and, last, the worker's thread id
// cleared. Each worker fills in its own steps.
#pragma once

#include <atomic>

#include "engine/exception_filter.h"
#include "records/task.h"
#include "platform/guard.h"
#include "platform/win32.h"

// A worker's own steps. `context` is the worker's record of its pass, the
// same one for every step; it holds the task.
struct WorkerSteps {
    // After the start wait, before the first pause point; null when the
    // worker has nothing to set up there.
    void (*begin)(void* context);
    // One pass of the main loop, run while the task is Working.
    GuardedPass pass;
    // After the filter chose to abandon a pass: the worker's exception
    // recovery, which also releases what the pass held.
    void (*recover)(void* context, const TaskGuard* guard);
    // When the loop has ended: the shutdown lines and what goes with them.
    void (*shut_down)(Task* task);
    // The worker's thread id in the task, cleared as its very last act.
    std::atomic<DWORD> Task::*thread_id;
};

// Runs a worker for `task` with its steps and returns the thread's exit code.
DWORD run_worker(const WorkerSteps& steps, Task* task, void* context);

// The two lines a worker writes when it ends: `shutdown_text` stamped, then
// `total_format` filled with its iteration count, plain.
__attribute__((format(printf, 3, 4))) void log_worker_shutdown(Task* task, const char* shutdown_text,
                                                               const char* total_format, ...);
