#include "engine/copy_worker.h"

#include "engine/compare_worker.h"
#include "engine/exception_filter.h"
#include "engine/names.h"
#include "engine/pause.h"
#include "engine/retry.h"
#include "engine/status_cell.h"
#include "engine/worker_loop.h"
#include "report/error_report.h"

namespace {

constexpr DWORD room_poll_ms = 10;
// A minute of waiting for room with no copy left to compare: only space
// freed by others can end it, so it is worth a report.
constexpr DWORD stall_report_polls = 60000 / room_poll_ms;

const RetryTexts<0> free_space_texts = {"getting disk free space.",
                                        "Retry count exceeded getting disk free space.\n"};
const RetryTexts<2> copy_texts = {"copying %s to %s.", "Retry count exceeded copying %s to %s.\n"};
const RetryTexts<1> normal_attribute_texts = {
    "setting normal attribute on %s.", "Retry count exceeded setting normal attribute on %s.\n"};

// The names of the file in hand. They live outside the guarded pass, which
// may be left by a jump and must hold nothing that needs undoing.
struct CopyPass {
    Task* task;
    char source_name[MAX_PATH];
    char copy_name[MAX_PATH];
    // Room polls in a row in which the compare worker had nothing to do.
    DWORD stalled_polls;
};

void refresh_target_free_space(Task* task)
{
    retry_step(task, free_space_texts, {}, [task] { return refresh_free_space(task->target_drive); });
}

// Room for one set of files per task on the target and one more: copies
// waiting for their compare then never fill the drive. In 64 bits, so that
// drives with 4 GiB or more free do not wrap.
BOOL target_has_room(const Task* task)
{
    const Drive* target = task->target_drive;
    ULONGLONG needed =
        ((ULONGLONG)target->target_task_count.load() + 1) * (ULONGLONG)task->source_bytes.load();
    return needed < free_bytes(target);
}

void copy_one_file(CopyPass* pass, DWORD iteration, BYTE index)
{
    Task* task = pass->task;
    if (!format_source_name(pass->source_name, task->source_drive, index) ||
        !format_copy_name(pass->copy_name, task, iteration, index)) {
        // Copy names only grow with the iteration number; once they no
        // longer fit, no later iteration can be copied either.
        report_error(task, TRUE, "forming file names for copying.");
        return;
    }
    const char* source = pass->source_name;
    const char* copy = pass->copy_name;
    retry_step(task, copy_texts, {source, copy}, [source, copy] { return CopyFileA(source, copy, FALSE); });
    // Taken also when the copy failed, so a copy is never left read-only or
    // hidden by the source's attributes.
    retry_step(task, normal_attribute_texts, {copy},
               [copy] { return SetFileAttributesA(copy, FILE_ATTRIBUTE_NORMAL); });
}

void copy_iteration(CopyPass* pass)
{
    Task* task = pass->task;
    DWORD iteration = task->copy_count.fetch_add(1, std::memory_order_release) + 1;
    BYTE file_count = task->file_count.load();
    for (BYTE index = 0; index < file_count; ++index) {
        copy_one_file(pass, iteration, index);
        task->progress_ticks.fetch_add(1, std::memory_order_relaxed);
        if (iteration_ends_after_file(task)) {
            return;
        }
    }
}

// Counted and logged once per stall; the worker goes on waiting.
void wait_for_room(CopyPass* pass)
{
    Task* task = pass->task;
    Sleep(room_poll_ms);
    pass->stalled_polls = compare_waits_for_copy(task) ? pass->stalled_polls + 1 : 0;
    if (pass->stalled_polls == stall_report_polls) {
        SetLastError(ERROR_DISK_FULL);
        report_error(task, FALSE, "waiting for room on the target with no copy left to compare.");
    }
}

void run_copy_pass(void* context)
{
    CopyPass* pass = static_cast<CopyPass*>(context);
    Task* task = pass->task;
    refresh_target_free_space(task);
    if (target_has_room(task)) {
        pass->stalled_polls = 0;
        copy_iteration(pass);
    } else {
        wait_for_room(pass);
    }
    pause_point(task);
}

void recover_copy_pass(void*, const TaskGuard* guard)
{
    recover_from_exception(guard, "Non-continuable exception copying from %s to %s.");
}

void shut_down_copy(Task* task)
{
    log_worker_shutdown(task, "Copy thread shutdown.\n", "Total Copy Iterations = %d\n",
                        (int)task->copy_count.load());
    draw_status_word(task, task_state_word(TaskState::Cleanup));
}

const WorkerSteps copy_steps = {
    .begin = nullptr,
    .pass = run_copy_pass,
    .recover = recover_copy_pass,
    .shut_down = shut_down_copy,
    .thread_id = &Task::copy_thread_id,
};

}  // namespace

DWORD WINAPI copy_worker(LPVOID parameter)
{
    CopyPass pass = {};
    pass.task = static_cast<Task*>(parameter);
    return run_worker(copy_steps, pass.task, &pass);
}
