#include "shell/minute_tick.h"

#include <ctime>

#include "records/run_settings.h"
#include "records/window_settings.h"
#include "report/time_file.h"
#include "shell/result_files.h"
#include "shell/run_lines.h"
#include "shell/status_display.h"
#include "platform/run_output.h"

namespace {

constexpr DWORD seconds_per_tick = 60;

BOOL limit_reached(DWORD elapsed_seconds)
{
    const DWORD limit = run_settings.time_limit_minutes;
    return limit > 0 && elapsed_seconds / 60 >= limit;
}

// Writes every task's time file; TRUE when every task is in Cleanup.
BOOL record_tasks()
{
    BOOL all_stopped = TRUE;
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        write_time_file(task);
        if (task->state.load() != TaskState::Cleanup) {
            all_stopped = FALSE;
        }
    }
    return all_stopped;
}

}  // namespace

void minute_tick(HWND window)
{
    const time_t now = time(nullptr);
    if (run_settings.paused.load() == 1) {
        run_settings.paused_seconds += seconds_per_tick;
    }
    const DWORD elapsed = elapsed_run_seconds(now);
    const BOOL limit = limit_reached(elapsed);
    draw_elapsed_time(window, elapsed);
    run_output_line(minute_line(elapsed));
    const BOOL all_stopped = record_tasks();
    write_result_files(FALSE, 0);
    if (all_stopped || limit) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(command_quit, 0), 0);
    }
}
