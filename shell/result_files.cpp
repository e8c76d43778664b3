#include "shell/result_files.h"

#include <cstdio>

#include "records/exit_status.h"
#include "records/run_settings.h"
#include "report/run_findings.h"
#include "shell/command_line.h"
#include "shell/drive_identities.h"
#include "shell/metrics_file.h"
#include "platform/atomic_file.h"
#include "platform/json_result.h"
#include "platform/run_output.h"

namespace {

struct ResultFile {
    std::string path;
    BOOL failure_told = FALSE;
};

ResultFile json_file;
ResultFile metrics_file;

std::string letter_of(const Drive* drive)
{
    return drive != nullptr ? std::string(drive->root_path, 2) : std::string("?:");
}

std::string directory_of(const Drive* drive)
{
    for (const DriveIdentity& identity : drive_identities()) {
        if (identity.drive == drive) {
            return identity.directory;
        }
    }
    return "";
}

// The preparation thread names each task's directory and log while the run
// has begun, so the names are read only once that thread has ended.
BOOL task_names_ready()
{
    DWORD exit_code = 0;
    return run_settings.prep_thread != nullptr && GetExitCodeThread(run_settings.prep_thread, &exit_code) &&
           exit_code != STILL_ACTIVE;
}

ResultTask task_result(const Task* task, const std::vector<BadCopyFinding>& bad_copies, BOOL names_ready)
{
    ResultTask result;
    result.source = letter_of(task->source_drive);
    result.target = letter_of(task->target_drive);
    result.name = result.source + "->" + result.target;
    result.source_directory = directory_of(task->source_drive);
    result.target_directory = directory_of(task->target_drive);
    result.copies = task->copy_count.load();
    result.compares = task->compare_count.load();
    result.errors = task->error_count.load();
    result.exceptions = task->exception_count.load();
    result.verified_bytes = verified_bytes_of(task);
    result.state = task_state_word(task->state.load());
    result.state.erase(result.state.find_last_not_of(' ') + 1);  // "Paused " is padded for the screen
    if (names_ready) {
        result.task_directory = native_path_of(task->task_dir);
        result.task_log = native_path_of(task->log_path);
    }
    for (const BadCopyFinding& copy : bad_copies) {
        if (copy.task == task) {
            result.bad_copies.push_back(ResultBadCopy{native_path_of(copy.path.c_str()), copy.first_difference});
        }
    }
    return result;
}

ResultDrive drive_result(const DriveIdentity& identity)
{
    ResultDrive result;
    result.letter = identity.letter;
    result.directory = identity.directory;
    result.label = identity.drive->volume_name;
    result.total_bytes = total_bytes(identity.drive);
    result.free_bytes = free_bytes(identity.drive);
    result.disk = identity.disk;
    return result;
}

std::string task_name_of(const Task* task)
{
    return letter_of(task->source_drive) + "->" + letter_of(task->target_drive);
}

void write_file(ResultFile* file, const std::string& text)
{
    std::string error;
    if (file->path.empty() || replace_file_atomically(file->path, text, &error) || file->failure_told) {
        return;
    }
    file->failure_told = TRUE;
    std::fprintf(stderr, "durandex: %s\n", error.c_str());
}

}  // namespace

void set_result_files(const std::string& json_path, const std::string& metrics_path)
{
    json_file.path = json_path;
    metrics_file.path = metrics_path;
}

RunResult gather_run_result(BOOL ended, DWORD error_total)
{
    RunResult result;
    result.program_version = durandex_version;
    result.host = run_settings.machine_name;
    result.start = run_settings.run_start_time;
    result.updated = time(nullptr);
    result.end = ended ? result.updated : 0;
    result.run_seconds = elapsed_run_seconds(result.updated);
    result.time_limit_minutes = run_settings.time_limit_minutes;
    result.wall_clock_minutes = parse_command_line(run_settings.command_line).wall_clock_minutes;
    result.ended = ended != FALSE;
    result.exit_status = exit_status_of(error_total);
    const std::vector<BadCopyFinding> bad_copies = bad_copy_findings();
    const BOOL names_ready = task_names_ready();
    // Tasks in the order they were made, as the minute lines give them.
    // The totals add up the counts read for the tasks, so they agree while the run goes on.
    for (const Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        result.tasks.insert(result.tasks.begin(), task_result(task, bad_copies, names_ready));
        result.errors += result.tasks.front().errors;
        result.exceptions += result.tasks.front().exceptions;
        result.verified_bytes += result.tasks.front().verified_bytes;
    }
    for (const DriveIdentity& identity : drive_identities()) {
        result.drives.push_back(drive_result(identity));
    }
    for (const ErrorFinding& finding : error_findings()) {
        result.error_lines.push_back(ResultError{finding.time, task_name_of(finding.task), finding.text, finding.code});
    }
    return result;
}

void write_result_files(BOOL ended, DWORD error_total)
{
    if (json_file.path.empty() && metrics_file.path.empty()) {
        return;
    }
    const RunResult result = gather_run_result(ended, error_total);
    write_file(&json_file, result_json_text(result));
    write_file(&metrics_file, metrics_text(result));
}
