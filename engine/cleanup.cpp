#include "engine/cleanup.h"

#include "engine/names.h"

namespace {

// Deletions are not examined: a copy already compared is gone, one never made
// does not exist, and a bad copy is read-only and must stay.
void delete_copies_of_iteration(const Task* task, DWORD iteration)
{
    char name[MAX_PATH];
    if (task->source_drive->drive_type == DRIVE_CDROM) {
        if (format_cd_copy_name(name, task, iteration)) {
            DeleteFileA(name);
        }
        return;
    }
    BYTE file_count = task->file_count.load();
    for (BYTE index = 0; index < file_count; ++index) {
        if (format_copy_name(name, task, iteration, index)) {
            DeleteFileA(name);
        }
    }
}

void delete_uncompared_copies(const Task* task)
{
    DWORD first = task->compare_count.load();
    DWORD last = task->copy_count.load();
    if (first > last) {
        return;
    }
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
