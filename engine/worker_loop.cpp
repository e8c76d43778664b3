#include "engine/worker_loop.h"

#include <cstdarg>
#include <cstdio>

#include "engine/pause.h"
#include "report/task_log.h"

namespace {

// A missing or failing medium answers with an error code, not a system box.
constexpr UINT worker_error_mode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;

}  // namespace

DWORD run_worker(const WorkerSteps& steps, Task* task, void* context)
{
    SetErrorMode(worker_error_mode);
    wait_while_starting(task);
    if (steps.begin != nullptr) {
        steps.begin(context);
    }
    pause_point(task);

    TaskGuard guard = {task, 0};
    while (keep_working(task)) {
        if (!run_guarded(steps.pass, context, filter_task_exception, &guard)) {
            steps.recover(context, &guard);
        }
    }

    steps.shut_down(task);
    (task->*steps.thread_id).store(0);
    return 0;
}

void log_worker_shutdown(Task* task, const char* shutdown_text, const char* total_format, ...)
{
    write_task_log(task, TRUE, shutdown_text);
    char text[64];
    va_list arguments;
    va_start(arguments, total_format);
    int length = vsnprintf(text, sizeof text, total_format, arguments);
    va_end(arguments);
    if (length > 0 && length < (int)sizeof text) {
        write_task_log(task, FALSE, text);
    }
}
