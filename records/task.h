// A task pairs a source drive with a target drive and owns two workers.
#pragma once

#include <atomic>

#include "records/drive.h"
#include "platform/win32.h"

// Scoped, so that the state names do not collide with other names.
enum class TaskState : DWORD {
    Inactive = 0,
    Working = 1,
    Cleanup = 2,
    Starting = 3,
    Paused = 4,
};

// The word a task's status cell shows for its state.
const char* task_state_word(TaskState state);

// One copied CD file waiting for the compare worker.
struct CdFileEntry {
    char path[MAX_PATH];
    CdFileEntry* next;
};

// Fields that more than one thread touches are atomic; the rest are written
// before the threads that read them are started.
struct Task {
    std::atomic<HANDLE> copy_thread{};
    std::atomic<DWORD> copy_thread_id{};
    std::atomic<HANDLE> compare_thread{};
    std::atomic<DWORD> compare_thread_id{};
    Drive* source_drive;
    Drive* target_drive;
    std::atomic<CdFileEntry*> cd_queue_tail{};
    std::atomic<CdFileEntry*> cd_queue_head{};
    char task_dir[MAX_PATH];
    char log_path[MAX_PATH];
    char time_path[MAX_PATH];
    std::atomic<BYTE> file_count{};
    std::atomic<DWORD> source_bytes{};
    std::atomic<LONG> row_y{};
    std::atomic<DWORD> copy_count{};
    std::atomic<DWORD> compare_count{};
    std::atomic<DWORD> error_count{};
    std::atomic<DWORD> exception_count{};
    DWORD shown_copy_count;
    DWORD shown_compare_count;
    DWORD shown_error_count;
    std::atomic<TaskState> state{};
    std::atomic<DWORD> pause_parked{};
    // Raised at every file a worker copies, compares or deletes: Quit's
    // bounded waits take a change as a sign that a worker is still getting on.
    std::atomic<DWORD> progress_ticks{};
    Task* next;
};

// Counts one error of the task: every raise of error_count goes through here.
// Both workers and their reports raise it, so no raise may be lost.
void raise_error_count(Task* task);

// Bytes of the task's compare iterations that are certainly complete: every
// one begun before the one in progress.
ULONGLONG verified_bytes_of(const Task* task);

// A task whose source is a CD-ROM copies the disc's files, one per iteration.
BOOL is_cd_task(const Task* task);
