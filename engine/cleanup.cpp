#include "engine/cleanup.h"

#include <cstdio>

#include "engine/names.h"
#include "platform/run_output.h"

namespace {

// Each deletion counts as progress, so that Quit's bounded wait does not give
// up on a cleanup that is still getting through a full drive's copies.
void delete_copy(Task* task, const char* name)
{
    DeleteFileA(name);
    task->progress_ticks.fetch_add(1, std::memory_order_relaxed);
}

// Deletions are not examined: a copy already compared is gone, one never made
// does not exist, and a bad copy is read-only and must stay.
void delete_copies_of_iteration(Task* task, DWORD iteration)
{
    char name[MAX_PATH];
    if (is_cd_task(task)) {
        if (format_cd_copy_name(name, task, iteration)) {
            delete_copy(task, name);
        }
        return;
    }
    BYTE file_count = task->file_count.load();
    for (BYTE index = 0; index < file_count; ++index) {
        if (format_copy_name(name, task, iteration, index)) {
            delete_copy(task, name);
        }
    }
}

// A full drive may hold hundreds of thousands of copies; an unattended run
// says how many it is about to remove before the wait.
void announce_removal(const Task* task, DWORD first, DWORD last)
{
    // Iteration numbers start at 1: a compare count of 0 names no copy.
    const DWORD first_made = first == 0 ? 1 : first;
    if (last < first_made) {
        return;
    }
    const ULONGLONG copies =
        ((ULONGLONG)last - first_made + 1) * (is_cd_task(task) ? 1 : task->file_count.load());
    char line[96];
    snprintf(line, sizeof line, "durandex: %.2s->%.2s removing up to %llu uncompared copies",
             task->source_drive->root_path, task->target_drive->root_path, (unsigned long long)copies);
    run_output_line(line);
}

void delete_uncompared_copies(Task* task)
{
    DWORD first = task->compare_count.load();
    DWORD last = task->copy_count.load();
    if (first > last) {
        return;
    }
    announce_removal(task, first, last);
    // Stops on equality rather than testing <= so that the top count ends it.
    for (DWORD iteration = first;; ++iteration) {
        delete_copies_of_iteration(task, iteration);
        if (iteration == last) {
            break;
        }
    }
}

void delete_task_logs(const Task* task)
{
    DeleteFileA(task->log_path);
    char name[MAX_PATH];
    if (format_time_file_name(name, task, "one")) {
        DeleteFileA(name);
    }
    if (format_time_file_name(name, task, "two")) {
        DeleteFileA(name);
    }
}

}  // namespace

BOOL cleanup_task(Task* task)
{
    // Without its names the task made nothing; an empty directory name would
    // make every name below relative to some other directory.
    if (task->task_dir[0] == '\0') {
        return FALSE;
    }
    delete_uncompared_copies(task);
    if (task->error_count.load() == 0) {
        delete_task_logs(task);
    }
    return RemoveDirectoryA(task->task_dir);
}
