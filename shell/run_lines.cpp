#include "shell/run_lines.h"

#include <vector>

#include "records/run_settings.h"
#include "shell/exit_status.h"
#include "shell/status_display.h"
#include "platform/run_output.h"

namespace {

constexpr const char* summary_log_path = "c:\\Durandex.Log";

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
    std::string line = std::string("durandex: ") + elapsed;
    for (const Task* task : oldest_first) {
        line += "; " + task_part(task);
    }
    return line;
}

void report_run_end(DWORD error_total)
{
    if (run_settings.run_start_time == 0) {
        run_output_line("durandex: no run was started; no summary written.");
        return;
    }
    run_output_line("durandex: run ended with " + std::to_string(error_total) + " error" +
                    (error_total == 1 ? "" : "s") + "; exit status " +
                    std::to_string(exit_status_of(error_total)) + ".");
    run_output_line("durandex: run summary appended to " + native_path_of(summary_log_path));
}
