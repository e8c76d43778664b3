#include "shell/run_lines.h"

#include <cstdio>
#include <ctime>
#include <vector>

#include "records/exit_status.h"
#include "records/run_settings.h"
#include "report/run_summary.h"
#include "shell/status_display.h"
#include "platform/run_output.h"

namespace {

// What the last minute line saw, to give the speed since then.
struct SpeedMark {
    ULONGLONG verified_bytes = 0;
    DWORD elapsed_seconds = 0;
};

SpeedMark last_mark;
// Quit reported the run's end; without that, the window was closed.
BOOL run_end_reported = FALSE;

ULONGLONG verified_bytes()
{
    ULONGLONG bytes = 0;
    for (const Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        bytes += verified_bytes_of(task);
    }
    return bytes;
}

std::string speed_text(ULONGLONG bytes, DWORD seconds)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB/s verified", seconds == 0 ? 0.0 : bytes / 1e6 / seconds);
    return text;
}

std::string drive_letter(const Drive* drive)
{
    return drive != nullptr ? std::string(drive->root_path, 2) : std::string("?:");
}

std::string task_part(const Task* task)
{
    return drive_letter(task->source_drive) + "->" + drive_letter(task->target_drive) + " copy " +
           std::to_string(task->copy_count.load()) + " compare " + std::to_string(task->compare_count.load()) +
           " errors " + std::to_string(task->error_count.load()) + " " +
           task_state_word(task->state.load());
}

}  // namespace

std::string minute_line(DWORD elapsed_seconds)
{
    char elapsed[64];
    format_elapsed_time(elapsed_seconds, elapsed, sizeof elapsed);
    std::vector<const Task*> oldest_first;
    for (const Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        oldest_first.insert(oldest_first.begin(), task);
    }
    const ULONGLONG bytes = verified_bytes();
    const DWORD seconds = elapsed_seconds - last_mark.elapsed_seconds;
    std::string line = std::string("durandex: ") + elapsed + "; " + speed_text(bytes - last_mark.verified_bytes, seconds);
    last_mark = SpeedMark{bytes, elapsed_seconds};
    for (const Task* task : oldest_first) {
        line += "; " + task_part(task);
    }
    return line;
}

void report_run_end(DWORD error_total)
{
    run_end_reported = TRUE;
    if (run_settings.run_start_time == 0) {
        run_output_end_line("durandex: no run was started; no summary written.");
        return;
    }
    const ULONGLONG bytes = verified_bytes();
    run_output_end_line("durandex: run ended with " + std::to_string(error_total) + " error" +
                        (error_total == 1 ? "" : "s") + "; exit status " +
                        std::to_string(exit_status_of(error_total)) + "; " + std::to_string(bytes / 1000000) +
                        " MB at " + speed_text(bytes, elapsed_run_seconds(time(nullptr))) + ".");
    if (run_summary_written()) {
        run_output_end_line("durandex: run summary appended to " + native_path_of(summary_path));
    } else {
        run_output_end_line("durandex: the run summary could not be written to " + native_path_of(summary_path));
    }
}

void report_program_end(int exit_status)
{
    if (!run_end_reported) {
        run_output_end_line(run_settings.run_start_time == 0
                                ? "durandex: no run was started; no summary written."
                                : "durandex: window closed mid-run; workers not waited for; no summary written; "
                                  "exit status " + std::to_string(exit_status) + ".");
    }
    run_output_end_lines_release();
}
