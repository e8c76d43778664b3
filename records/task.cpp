#include "records/task.h"

const char* task_state_word(TaskState state)
{
    switch (state) {
    case TaskState::Inactive:
        return "Inactive";
    case TaskState::Working:
        return "Working";
    case TaskState::Cleanup:
        return "Cleanup";
    case TaskState::Starting:
        return "Starting";
    case TaskState::Paused:
        // As wide as "Working", so that it covers the word it replaces.
        return "Paused ";
    }
    return "";
}

void raise_error_count(Task* task)
{
    task->error_count.fetch_add(1);
}

ULONGLONG verified_bytes_of(const Task* task)
{
    const DWORD begun = task->compare_count.load();
    return begun > 1 ? static_cast<ULONGLONG>(begun - 1) * task->source_bytes.load() : 0;
}

BOOL is_cd_task(const Task* task)
{
    return task->source_drive->drive_type == DRIVE_CDROM;
}
