#include "engine/cd_copy_worker.h"

#include <cstdio>
#include <cstring>

#include "engine/cd_queue.h"
#include "engine/exception_filter.h"
#include "engine/names.h"
#include "engine/pause.h"
#include "engine/retry.h"
#include "engine/status_cell.h"
#include "engine/worker_loop.h"
#include "report/error_report.h"
#include "report/task_log.h"

namespace {

constexpr DWORD room_poll_ms = 10;
// A walk that queued nothing (no disc, an unreadable root, nothing eligible)
// would otherwise start again at once and fill the log as fast as it writes.
constexpr DWORD empty_walk_rest_ms = 1000;
constexpr DWORD rest_poll_ms = 10;
// Every level adds a backslash and at least one character to a path that
// must fit in MAX_PATH, so no walk goes deeper.
constexpr int deepest_walk = MAX_PATH / 2;

const RetryTexts<1> search_texts = {"searching CD directory %s.",
                                    "Retries exceeded searching CD directory %s.\n"};
const RetryTexts<0> free_space_texts = {"getting disk free space.",
                                        "Retries exceeded getting disk free space.\n"};
const RetryTexts<2> copy_texts = {"copying %s to %s.", "Retries exceeded copying %s to %s.\n"};
const RetryTexts<1> normal_attribute_texts = {"setting normal attribute on %s.",
                                              "Retries exceeded setting normal attribute on %s.\n"};
const RetryTexts<0> entry_texts = {"Memory Alloc for CD filename struct failed.",
                                   "Retries exceeded allocating memory for CD filename struct.\n"};

// The searches a walk holds open, one per level, so that the exception
// recovery can close those of the walk it abandons.
thread_local HANDLE open_searches[deepest_walk];
thread_local int walk_depth = 0;

void close_open_searches()
{
    while (walk_depth > 0) {
        FindClose(open_searches[--walk_depth]);
    }
}

// "{directory}\{name}"; FALSE when it would not fit in MAX_PATH.
BOOL join_path(char* out, const char* directory, const char* name)
{
    int length = snprintf(out, MAX_PATH, "%s\\%s", directory, name);
    return length >= 0 && length < MAX_PATH;
}

// A disc path that does not fit is neither cut nor overrun: the entry is
// skipped, counted and its directory named in the log.
void report_path_too_long(Task* task, const char* directory)
{
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    report_formatted(task, FALSE, "forming a path in CD directory %s.", directory);
}

// Free space is shared with every task that writes to the target: the copy
// waits until the target could take the file once for each of them and once
// more. FALSE when Cleanup ended the wait.
BOOL wait_for_room(Task* task, ULONGLONG size)
{
    Drive* target = task->target_drive;
    for (;;) {
        retry_step(task, free_space_texts, {}, [target] { return refresh_free_space(target); });
        ULONGLONG needed = ((ULONGLONG)target->target_task_count.load() + 1) * size;
        if (needed < free_bytes(target)) {
            return TRUE;
        }
        if (task->state.load() == TaskState::Cleanup) {
            return FALSE;
        }
        Sleep(room_poll_ms);
    }
}

// A skipped file leaves copy_count alone, so the next file takes its name.
void copy_cd_file(Task* task, const char* directory, const char* name, ULONGLONG size)
{
    if (!wait_for_room(task, size)) {
        return;
    }
    char source[MAX_PATH];
    char target[MAX_PATH];
    if (!join_path(source, directory, name)) {
        report_path_too_long(task, directory);
        return;
    }
    if (!format_cd_copy_name(target, task, task->copy_count.load() + 1)) {
        // Copy names only grow with the count; once they no longer fit, no
        // later file can be copied either.
        report_error(task, TRUE, "forming file names for copying.");
        return;
    }
    if (!retry_step(task, copy_texts, {source, target},
                    [&source, &target] { return CopyFileA(source, target, FALSE); })) {
        return;
    }
    // A copy from a disc is read-only; the compare worker must be able to
    // delete a good one and mark a bad one itself.
    if (!retry_step(task, normal_attribute_texts, {target},
                    [&target] { return SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL); })) {
        return;
    }
    CdFileEntry* entry = nullptr;
    if (!retry_step(task, entry_texts, {}, [&entry] {
            entry = static_cast<CdFileEntry*>(GlobalAlloc(GMEM_ZEROINIT, sizeof(CdFileEntry)));
            return entry != nullptr;
        })) {
        return;
    }
    memcpy(entry->path, source, sizeof entry->path);
    entry->next = nullptr;
    append_cd_entry(task, entry);
}

void take_found_entry(Task* task, const char* directory, const WIN32_FIND_DATAA* found)
{
    if ((found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        if (found->cFileName[0] == '.') {
            return;
        }
        char subdirectory[MAX_PATH];
        if (join_path(subdirectory, directory, found->cFileName)) {
            walk_cd_directory(task, subdirectory);
        } else {
            report_path_too_long(task, directory);
        }
        return;
    }
    // The whole 64-bit size: its low half alone would let a file of 4 GiB
    // and a few bytes pass for a few bytes.
    ULONGLONG size = ((ULONGLONG)found->nFileSizeHigh << 32) | found->nFileSizeLow;
    if (size != 0 && size <= task->source_bytes.load()) {
        copy_cd_file(task, directory, found->cFileName, size);
    }
}

HANDLE open_search(Task* task, const char* directory, WIN32_FIND_DATAA* found)
{
    char pattern[MAX_PATH];
    if (!join_path(pattern, directory, "*")) {
        report_path_too_long(task, directory);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE search = INVALID_HANDLE_VALUE;
    retry_step(task, search_texts, {directory}, [&pattern, &search, found] {
        search = FindFirstFileA(pattern, found);
        return search != INVALID_HANDLE_VALUE;
    });
    return search;
}

void log_walk_completed(Task* task)
{
    char text[64];
    int length = snprintf(text, sizeof text, "CD Copy completed at iteration:%d\n",
                          (int)task->copy_count.load());
    if (length > 0 && length < (int)sizeof text) {
        write_task_log(task, TRUE, text);
    }
}

// Ends at once when the task leaves Working, for Cleanup or Pause.
void rest_after_empty_walk(Task* task)
{
    for (DWORD rested = 0; rested < empty_walk_rest_ms && task->state.load() == TaskState::Working;
         rested += rest_poll_ms) {
        Sleep(rest_poll_ms);
    }
}

// The source drive's letter and colon, without the backslash.
struct CdCycle {
    Task* task;
    char root[3];
};

void run_cd_cycle(void* context)
{
    CdCycle* cycle = static_cast<CdCycle*>(context);
    Task* task = cycle->task;
    DWORD queued_before = task->copy_count.load();
    walk_cd_directory(task, cycle->root);
    log_walk_completed(task);
    pause_point(task);
    if (task->copy_count.load() == queued_before) {
        rest_after_empty_walk(task);
    }
}

// The queue starts empty; every walk starts at the disc's root.
void begin_cd_copy(void* context)
{
    CdCycle* cycle = static_cast<CdCycle*>(context);
    Task* task = cycle->task;
    task->cd_queue_tail.store(nullptr);
    task->cd_queue_head.store(nullptr);
    cycle->root[0] = task->source_drive->root_path[0];
    cycle->root[1] = task->source_drive->root_path[1];
    cycle->root[2] = '\0';
}

// The abandoned walk is not resumed: its searches are closed first.
void recover_cd_cycle(void*, const TaskGuard* guard)
{
    close_open_searches();
    recover_from_exception(guard, "Non-continuable exception copying CD files from %s to %s.");
}

void shut_down_cd_copy(Task* task)
{
    log_worker_shutdown(task, "Copy thread shutdown.\n", "Total Copy Iterations = %d\n",
                        (int)task->copy_count.load());
    let_go_of_cd_queue(task);
    draw_status_word(task, task_state_word(TaskState::Cleanup));
}

const WorkerSteps cd_copy_steps = {
    .begin = begin_cd_copy,
    .pass = run_cd_cycle,
    .recover = recover_cd_cycle,
    .shut_down = shut_down_cd_copy,
    .thread_id = &Task::copy_thread_id,
};

}  // namespace

void walk_cd_directory(Task* task, const char* directory)
{
    pause_point(task);
    if (task->state.load() != TaskState::Working) {
        return;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = open_search(task, directory, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    open_searches[walk_depth++] = search;
    BOOL more = TRUE;
    while (more) {
        take_found_entry(task, directory, &found);
        more = FindNextFileA(search, &found);
        pause_point(task);
        if (task->state.load() == TaskState::Cleanup) {
            more = FALSE;
        }
    }
    --walk_depth;
    FindClose(search);
}

DWORD WINAPI cd_copy_worker(LPVOID parameter)
{
    CdCycle cycle = {};
    cycle.task = static_cast<Task*>(parameter);
    return run_worker(cd_copy_steps, cycle.task, &cycle);
}
