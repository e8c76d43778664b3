#include "engine/exception_filter.h"

#include <cstdio>

#include "engine/retry.h"
#include "engine/status_cell.h"
#include "report/task_log.h"

namespace {

void log_exception_code(Task* task, DWORD code)
{
    char text[64];
    int length = snprintf(text, sizeof text, "Exception Code = %x\n", (unsigned int)code);
    if (length > 0 && length < (int)sizeof text) {
        write_task_log(task, TRUE, text);
    }
}

BOOL is_noncontinuable(DWORD code, const EXCEPTION_POINTERS* info)
{
    if (code == STATUS_NONCONTINUABLE_EXCEPTION) {
        return TRUE;
    }
    return info != nullptr && info->ExceptionRecord != nullptr &&
           info->ExceptionRecord->ExceptionFlags == EXCEPTION_NONCONTINUABLE;
}

}  // namespace

LONG filter_exception(Task* task, DWORD code, EXCEPTION_POINTERS* info)
{
    DWORD count = task->exception_count.fetch_add(1) + 1;
    log_exception_code(task, code);
    write_task_log(task, FALSE,
                   code == STATUS_IN_PAGE_ERROR ? "    STATUS_IN_PAGE_ERROR\n"
                                                : "    See NTSTATUS.H for codes\n");
    // The limit comes first: once a task has had its ten, every further
    // exception of any of its workers goes to the recovery.
    if (count > continued_exception_limit) {
        write_task_log(task, FALSE, "    Exception Count Exceeded.\n");
        return EXCEPTION_EXECUTE_HANDLER;
    }
    if (is_noncontinuable(code, info)) {
        write_task_log(task, FALSE, "    NON-CONTINUABLE\n");
        return EXCEPTION_EXECUTE_HANDLER;
    }
    write_task_log(task, FALSE, "    Continuable\n");
    return EXCEPTION_CONTINUE_EXECUTION;
}

LONG filter_task_exception(void* guard, DWORD code, EXCEPTION_POINTERS* info)
{
    TaskGuard* task_guard = static_cast<TaskGuard*>(guard);
    task_guard->exception_code = code;
    return filter_exception(task_guard->task, code, info);
}

void recover_from_exception(const TaskGuard* guard, const PathFormat<2>& text_format)
{
    Task* task = guard->task;
    raise_error_count(task);
    if (guard->exception_code == STATUS_IN_PAGE_ERROR) {
        SetLastError(ERROR_CRC);
    }
    report_step(task, TRUE, text_format, {task->source_drive->root_path, task->target_drive->root_path});
    release_held_status_dc();
}
