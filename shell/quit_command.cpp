// Quit ends the run: every task to Cleanup, bounded waits for the workers,
// the run summary, the records released and the message loop ended with the
// error total. Window destruction ends the loop without the waits.
#include <algorithm>
#include <string>

#include "drives/drives_dialog.h"
#include "engine/cleanup.h"
#include "records/allocation.h"
#include "records/exit_status.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "report/run_summary.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/result_files.h"
#include "shell/run_lines.h"

namespace {

constexpr DWORD quit_poll_ms = 100;
constexpr DWORD copy_worker_polls = 300;       // 30 s
constexpr DWORD compare_worker_polls = 1200;   // 120 s
constexpr DWORD preparation_polls = 1200;      // 120 s

BOOL quit_started = FALSE;
BOOL refused = FALSE;
// A thread that had to be abandoned may still touch the records, so they are
// then left to the end of the process instead of being released.
BOOL records_in_use = FALSE;

void stop_every_task()
{
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        task->state.store(TaskState::Cleanup);
    }
}

// Polls until the thread has ended; FALSE when it had to be terminated. The
// bound counts polls without progress: a worker still deleting the copies of
// a full drive is never cut off, only one that has stopped getting on.
BOOL wait_for_thread(HANDLE thread, std::atomic<DWORD>* id, DWORD polls,
                     const std::atomic<DWORD>& progress)
{
    DWORD seen = progress.load(std::memory_order_relaxed);
    for (DWORD count = 0; id->load() != 0; ++count) {
        const DWORD now = progress.load(std::memory_order_relaxed);
        if (now != seen) {
            seen = now;
            count = 0;
        }
        if (count >= polls) {
            TerminateThread(thread, 0);
            id->store(0);
            return FALSE;
        }
        Sleep(quit_poll_ms);
    }
    return TRUE;
}

BOOL thread_running(HANDLE thread)
{
    DWORD exit_code = 0;
    return thread != nullptr && GetExitCodeThread(thread, &exit_code) && exit_code == STILL_ACTIVE;
}

// Preparation starts the workers of tasks that are already in Cleanup, so it
// must be over before the waits can trust the thread ids.
void wait_for_preparation()
{
    for (DWORD count = 0; thread_running(run_settings.prep_thread); ++count) {
        if (count >= preparation_polls) {
            TerminateThread(run_settings.prep_thread, 0);
            records_in_use = TRUE;
            return;
        }
        Sleep(quit_poll_ms);
    }
}

DWORD wait_for_workers()
{
    DWORD total = 0;
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        if (!wait_for_thread(task->copy_thread.load(), &task->copy_thread_id, copy_worker_polls,
                             task->progress_ticks)) {
            records_in_use = TRUE;
        }
        if (!wait_for_thread(task->compare_thread.load(), &task->compare_thread_id, compare_worker_polls,
                             task->progress_ticks)) {
            records_in_use = TRUE;
            cleanup_task(task);
        }
        CloseHandle(task->copy_thread.exchange(nullptr));
        CloseHandle(task->compare_thread.exchange(nullptr));
        total += task->error_count.load();
    }
    return total;
}

void release_records()
{
    if (records_in_use) {
        return;
    }
    while (Task* task = run_settings.task_list) {
        run_settings.task_list = task->next;
        free_record(task);
    }
    while (Drive* drive = run_settings.drive_list) {
        run_settings.drive_list = drive->next;
        free_record(drive);
    }
}

void kill_timers(HWND window)
{
    KillTimer(window, refresh_timer_id);
    KillTimer(window, minute_timer_id);
}

}  // namespace

BOOL quit_under_way()
{
    return quit_started;
}

void refuse_run()
{
    quit_started = TRUE;
    refused = TRUE;
}

BOOL run_refused()
{
    return refused;
}

void quit_run(HWND window)
{
    if (quit_started) {
        return;
    }
    quit_started = TRUE;
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    kill_timers(window);
    stop_every_task();
    DWORD total = 0;
    if (run_settings.idle.load() == 0) {
        wait_for_preparation();
        total = wait_for_workers();
    }
    if (run_settings.run_start_time != 0) {
        write_run_summary(total);
        write_result_files(TRUE, total);
    }
    report_run_end(total);
    release_records();
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    OutputDebugStringA("Durandex Ended.\n");
    PostQuitMessage(exit_status_of(total));
}

void destroy_main_window(HWND window)
{
    kill_timers(window);
    HWND dialog = window_settings.drives_dialog;
    if (dialog != nullptr && IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    window_settings.drives_dialog = nullptr;
    // The workers and the preparation thread are not waited for here and may
    // still be using the records; the end of the process releases them.
    records_in_use = TRUE;
    if (!quit_started) {
        quit_started = TRUE;
        PostQuitMessage(0);
    }
}
