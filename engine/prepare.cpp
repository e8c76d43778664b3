#include "engine/prepare.h"

#include <cstdarg>
#include <cstdio>

#include "engine/cd_copy_worker.h"
#include "engine/compare_worker.h"
#include "engine/copy_worker.h"
#include "engine/leftovers.h"
#include "engine/names.h"
#include "engine/source_check.h"
#include "records/run_settings.h"
#include "records/window_layout.h"
#include "engine/source_pattern.h"
#include "report/error_report.h"
#include "report/task_log.h"

namespace {

// Stands in a worker's id from before its thread exists until CreateThread
// has told us the real one: a worker that ends at once clears its id, and
// that 0 must not be overwritten afterwards.
constexpr DWORD thread_id_pending = 0xFFFFFFFF;

__attribute__((format(printf, 3, 4))) void log_preparation_line(Task* task, BOOL stamped,
                                                                const char* format, ...)
{
    char text[2 * MAX_PATH];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length < 0 || length >= (int)sizeof text) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        report_error(task, FALSE, "formatting task log text.");
        return;
    }
    write_task_log(task, stamped, text);
}

void invalidate_status_cell(const Task* task)
{
    const RECT cell = status_cell_rect(task->row_y.load());
    InvalidateRect(run_settings.main_window.load(), &cell, TRUE);
}

// Moves the state only from `from`, so that a Cleanup set meanwhile by an
// error report or by Quit stays.
void advance_state(Task* task, TaskState from, TaskState to)
{
    TaskState expected = from;
    task->state.compare_exchange_strong(expected, to);
}

void ensure_directory(Task* task, const char* path, const char* action_text)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return;
    }
    if (!CreateDirectoryA(path, nullptr)) {
        report_error(task, TRUE, action_text);
    }
}

void ensure_drive_directories(Task* task, const Drive* drive, const char* product_text,
                              const char* machine_text)
{
    char product_dir[MAX_PATH];
    if (format_product_dir(product_dir, drive)) {
        ensure_directory(task, product_dir, product_text);
    } else {
        report_error(task, TRUE, product_text);
    }
    ensure_directory(task, drive->dir_path, machine_text);
}

// Tries of the process-id part for names that no earlier run left behind;
// the log's part runs modulo 1000, so more could not differ.
constexpr DWORD name_tries = 1000;

BOOL path_exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

BOOL time_files_exist(const Task* task)
{
    char name[MAX_PATH];
    return (format_time_file_name(name, task, "one") && path_exists(name)) ||
           (format_time_file_name(name, task, "two") && path_exists(name));
}

BOOL form_task_names(Task* task, BYTE sequence, DWORD process_part)
{
    const Drive* target = task->target_drive;
    return format_log_path(task->log_path, target, sequence, process_part) &&
           format_time_base(task->time_path, target, sequence, process_part) &&
           format_task_dir(task->task_dir, target, process_part, sequence);
}

// An earlier run with the same process id (every run in a fresh pid
// namespace has one) may have kept its log, time files and bad copies as
// evidence; the process-id part is advanced past any name it left.
void name_task_files(Task* task, BYTE sequence)
{
    DWORD process_part = GetCurrentProcessId();
    for (DWORD tries = 0; tries < name_tries; ++tries, ++process_part) {
        if (!form_task_names(task, sequence, process_part)) {
            report_error(task, TRUE, "naming task files.");
            return;
        }
        if (!path_exists(task->log_path) && !time_files_exist(task) &&
            !path_exists(task->task_dir)) {
            return;
        }
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    report_error(task, TRUE, "naming task files.");
}

void write_log_head(Task* task)
{
    const Drive* source = task->source_drive;
    const Drive* target = task->target_drive;
    write_task_log(task, TRUE, "\n\n\tDurandex Log File\n\n");
    log_preparation_line(task, FALSE, "Source Directory: %s, Vol: %s, FS: %s\n", source->dir_path,
                         source->volume_name, source->fs_name);
    log_preparation_line(task, FALSE, "Target Directory: %s, Vol: %s, FS: %s\n", task->task_dir,
                         target->volume_name, target->fs_name);
}

DWORD sum_of_sizes(BYTE file_count)
{
    DWORD sum = 0;
    for (BYTE index = 0; index < file_count && index < source_file_count_max; ++index) {
        sum += run_settings.source_file_sizes[index];
    }
    return sum;
}

DWORD tasks_writing_to(const Drive* target)
{
    DWORD count = 0;
    for (const Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        count += task->target_drive == target ? 1 : 0;
    }
    return count;
}

void fit_to_free_space(Task* task)
{
    Drive* source = task->source_drive;
    Drive* target = task->target_drive;
    refresh_free_space(source);
    refresh_free_space(target);
    DWORD source_bytes = 0;
    BYTE count = fit_source_files(task->file_count.load(), free_bytes(source), free_bytes(target),
                                  target->root_path[0] == source->root_path[0],
                                  source->drive_type == DRIVE_CDROM, &source_bytes,
                                  tasks_writing_to(target));
    task->file_count = count;
    task->source_bytes = source_bytes;
    if (count == 0) {
        // The code is meaningless here, as the text says; a nonzero one sends
        // the task to Cleanup, since a task without files has nothing to do.
        SetLastError(ERROR_DISK_FULL);
        report_error(task, TRUE, "insufficient disk space.\n<Ignore Error Code>");
    }
    log_preparation_line(task, FALSE, "Using files up to index %d [Max = %d]\n", (int)count,
                         source_file_count_max);
}

void refresh_source_file(Task* task, BYTE index)
{
    char name[MAX_PATH];
    if (!format_source_name(name, task->source_drive, index)) {
        report_error(task, TRUE, "creating source file.");
        return;
    }
    // A damaged file must not be reused: it is kept as evidence and a fresh
    // one takes its name.
    if (source_damaged_at_rest(task, index, name) && !set_damaged_source_aside(task, name)) {
        return;
    }
    HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, run_settings.file_flags.load() | FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report_error(task, TRUE, "creating source file.");
        return;
    }
    DWORD size = GetFileSize(file, nullptr);
    // The failure value is also a size; a cleared last error tells them apart.
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        report_error(task, TRUE, "checking existing source file size.");
    }
    // A file of the right size has been checked and is reused untouched.
    if (size != run_settings.source_file_sizes[index] && generate_source_file(task, index, file)) {
        log_preparation_line(task, TRUE, "Created source file %s\n", name);
    }
    FlushFileBuffers(file);
    CloseHandle(file);
}

void prepare_task(Task* task, BYTE sequence)
{
    BOOL cd_source = is_cd_task(task);
    task->target_drive->target_task_count.fetch_add(1);
    advance_state(task, TaskState::Inactive, TaskState::Starting);
    invalidate_status_cell(task);
    if (!cd_source) {
        ensure_drive_directories(task, task->source_drive, "creating source durandex directory.",
                                 "creating source machine name directory.");
    }
    ensure_drive_directories(task, task->target_drive, "creating target durandex directory.",
                             "creating target machine name directory.");
    name_task_files(task, sequence);
    ensure_directory(task, task->task_dir, "creating task directory.");
    write_log_head(task);
    clean_leftovers(task);
    fit_to_free_space(task);
    if (!cd_source) {
        for (BYTE index = 0; index < task->file_count.load(); ++index) {
            refresh_source_file(task, index);
        }
    }
}

// Starts one worker and publishes its handle and id. Returns the id
// CreateThread gave, 0 when it failed.
DWORD start_task_worker(Task* task, LPTHREAD_START_ROUTINE routine,
                        std::atomic<HANDLE>* handle_field, std::atomic<DWORD>* id_field)
{
    id_field->store(thread_id_pending);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, task, 0, &id);
    handle_field->store(thread);
    DWORD expected = thread_id_pending;
    id_field->compare_exchange_strong(expected, thread == nullptr ? 0 : id);
    return thread == nullptr ? 0 : id;
}

DWORD start_copy_side(Task* task)
{
    LPTHREAD_START_ROUTINE routine = is_cd_task(task) ? cd_copy_worker : copy_worker;
    DWORD id = start_task_worker(task, routine, &task->copy_thread, &task->copy_thread_id);
    if (id == 0) {
        report_error(task, TRUE, "spawning copy thread.");
    }
    return id;
}

void start_task(Task* task)
{
    DWORD copy_id = start_copy_side(task);
    log_preparation_line(task, TRUE, "Created copy thread ID: %d\n", (int)copy_id);
    DWORD compare_id =
        start_task_worker(task, compare_worker, &task->compare_thread, &task->compare_thread_id);
    if (compare_id == 0) {
        report_error(task, TRUE, "spawning compare thread.");
    }
    log_preparation_line(task, TRUE, "Created compare thread ID: %d\n", (int)compare_id);
    advance_state(task, TaskState::Starting, TaskState::Working);
    invalidate_status_cell(task);
}

void end_preparation()
{
    PostMessageA(run_settings.main_window.load(), preparation_done_message, 0, 0);
}

}  // namespace

BYTE fit_source_files(BYTE file_count, ULONGLONG source_room, ULONGLONG target_room,
                      BOOL same_drive, BOOL cd_source, DWORD* source_bytes, DWORD target_tasks)
{
    // The copy worker starts an iteration only with more than (tasks + 1)
    // sets free, and the compare worker only after two iterations: every
    // task's second iteration must fit beside every task's first.
    ULONGLONG copies = 2 * (ULONGLONG)target_tasks + 1;
    for (;;) {
        ULONGLONG bytes = sum_of_sizes(file_count);
        *source_bytes = (DWORD)bytes;
        // On one drive the source files take their room first; more than the
        // room leaves none, rather than wrapping round to a huge number.
        ULONGLONG available = target_room;
        if (same_drive) {
            available = bytes > target_room ? 0 : target_room - bytes;
        }
        BOOL too_big = (bytes > source_room && !cd_source) || copies * bytes > available;
        if (!too_big) {
            return file_count;
        }
        --file_count;
        if (file_count == 0) {
            return 0;
        }
    }
}

DWORD WINAPI prepare_tasks(LPVOID)
{
    OutputDebugStringA("DurandexInitialize\n");
    BYTE sequence = 1;
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        prepare_task(task, sequence);
        ++sequence;
    }
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        start_task(task);
    }
    end_preparation();
    return 0;
}
