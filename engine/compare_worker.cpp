#include "engine/compare_worker.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "engine/cd_queue.h"
#include "engine/cleanup.h"
#include "engine/exception_filter.h"
#include "engine/line_account.h"
#include "engine/names.h"
#include "engine/pause.h"
#include "engine/retry.h"
#include "engine/worker_loop.h"
#include "records/run_settings.h"
#include "platform/guard.h"
#include "report/error_report.h"
#include "report/run_findings.h"
#include "report/task_log.h"

namespace {

constexpr DWORD idle_poll_ms = 100;
constexpr DWORD cd_queue_poll_ms = 10;
constexpr DWORD shutdown_poll_ms = 100;

const RetryTexts<1> open_texts = {"opening %s in compare thread.",
                                  "Retries exceeded opening %s in compare thread.\n"};
const RetryTexts<1> source_mapping_texts = {"creating source file mapping of %s.",
                                            "Retries exceeded creating source file mapping of %s.\n"};
const RetryTexts<1> target_mapping_texts = {"creating target file mapping of %s.",
                                            "Retries exceeded creating target file mapping of %s.\n"};
const RetryTexts<1> source_view_texts = {"mapping source file view of %s.",
                                         "Retries exceeded mapping source file view of %s.\n"};
const RetryTexts<1> target_view_texts = {"mapping target file view of %s.",
                                         "Retries exceeded mapping target file view of %s.\n"};

// What one file step holds. It lives outside the guarded pass, so that the
// recovery can release whatever an abandoned step had open.
struct CompareFiles {
    char source_path[MAX_PATH];
    char target_path[MAX_PATH];
    BOOL target_named;
    HANDLE source_file;
    HANDLE target_file;
    HANDLE source_mapping;
    HANDLE target_mapping;
    const BYTE* source_view;
    const BYTE* target_view;
    DWORD source_size;
    DWORD target_size;
};

struct ComparePass {
    Task* task;
    CompareFiles files;
    // The head CD entry belongs to the iteration in hand until it is taken
    // off; the recovery takes it off too, so queue and iteration stay paired.
    BOOL cd_entry_in_hand;
};

void reset_handles(CompareFiles* files)
{
    files->source_file = INVALID_HANDLE_VALUE;
    files->target_file = INVALID_HANDLE_VALUE;
    files->source_mapping = nullptr;
    files->target_mapping = nullptr;
    files->source_view = nullptr;
    files->target_view = nullptr;
}

// The counters' hand-off means the oldest queued CD file is there; the wait
// only keeps a Quit from being held up should it not be.
BOOL wait_for_cd_entry(ComparePass* pass)
{
    Task* task = pass->task;
    while (task->cd_queue_head.load(std::memory_order_acquire) == nullptr) {
        if (task->state.load() == TaskState::Cleanup) {
            return FALSE;
        }
        Sleep(cd_queue_poll_ms);
    }
    pass->cd_entry_in_hand = TRUE;
    return TRUE;
}

BOOL copy_path(char* out, const char* path)
{
    int length = snprintf(out, MAX_PATH, "%s", path);
    if (length < 0 || length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

// FALSE with last error ERROR_FILENAME_EXCED_RANGE when a name does not fit.
BOOL name_files(ComparePass* pass, DWORD iteration, BYTE index)
{
    Task* task = pass->task;
    CompareFiles* files = &pass->files;
    BOOL source_named =
        is_cd_task(task)
            ? copy_path(files->source_path, task->cd_queue_head.load(std::memory_order_acquire)->path)
            : format_source_name(files->source_path, task->source_drive, index);
    if (!source_named) {
        return FALSE;
    }
    files->target_named = is_cd_task(task) ? format_cd_copy_name(files->target_path, task, iteration)
                                           : format_copy_name(files->target_path, task, iteration, index);
    return files->target_named;
}

BOOL open_for_compare(Task* task, const char* path, HANDLE* file)
{
    DWORD flags = run_settings.file_flags.load() | FILE_ATTRIBUTE_NORMAL;
    return retry_step(task, open_texts, {path}, [path, file, flags] {
        *file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
        return *file != INVALID_HANDLE_VALUE;
    });
}

// The target is not opened when its source could not be.
BOOL open_files(Task* task, CompareFiles* files)
{
    return open_for_compare(task, files->source_path, &files->source_file) &&
           open_for_compare(task, files->target_path, &files->target_file);
}

DWORD size_of(Task* task, HANDLE file, const char* path)
{
    DWORD size = GetFileSize(file, nullptr);
    // The failure value is also a size; a cleared last error tells them apart.
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        report_formatted(task, FALSE, "getting file size of %s.", path);
    }
    return size;
}

BOOL sizes_match(Task* task, BYTE index, CompareFiles* files)
{
    files->source_size = size_of(task, files->source_file, files->source_path);
    files->target_size = size_of(task, files->target_file, files->target_path);
    if (!is_cd_task(task) && files->source_size != run_settings.source_file_sizes[index]) {
        report_error(task, FALSE, "size of source file. <ignore error number> \n");
        return FALSE;
    }
    if (files->source_size != files->target_size) {
        if (!SetFileAttributesA(files->target_path, FILE_ATTRIBUTE_READONLY)) {
            report_formatted(task, FALSE, "setting read-only attribute on file %s.", files->target_path);
        }
        log_formatted(task, TRUE, "Size error in file %s\n", files->target_path);
        record_error_finding(task, 0, std::string("Size error in file ") + files->target_path);
        raise_error_count(task);
        return FALSE;
    }
    return TRUE;
}

BOOL create_mapping(Task* task, const RetryTexts<1>& texts, HANDLE file, const char* path,
                    HANDLE* mapping)
{
    return retry_step(task, texts, {path}, [file, mapping] {
        *mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        return *mapping != nullptr;
    });
}

BOOL map_view(Task* task, const RetryTexts<1>& texts, HANDLE mapping, const char* path,
              const BYTE** view)
{
    return retry_step(task, texts, {path}, [mapping, view] {
        *view = static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        return *view != nullptr;
    });
}

// Each second call is made even when the first failed, so both failures are
// reported.
BOOL map_files(Task* task, CompareFiles* files)
{
    BOOL source_mapped = create_mapping(task, source_mapping_texts, files->source_file,
                                        files->source_path, &files->source_mapping);
    BOOL target_mapped = create_mapping(task, target_mapping_texts, files->target_file,
                                        files->target_path, &files->target_mapping);
    if (!source_mapped || !target_mapped) {
        return FALSE;
    }
    BOOL source_viewed = map_view(task, source_view_texts, files->source_mapping,
                                  files->source_path, &files->source_view);
    BOOL target_viewed = map_view(task, target_view_texts, files->target_mapping,
                                  files->target_path, &files->target_view);
    return source_viewed && target_viewed;
}

void report_compare_error(Task* task, const CompareFiles* files)
{
    raise_error_count(task);
    if (!SetFileAttributesA(files->target_path, FILE_ATTRIBUTE_READONLY)) {
        report_error(task, FALSE, "setting read-only attribute on bad file.");
    }
    log_formatted(task, TRUE, "Compare error: %s vs. %s\n", files->source_path, files->target_path);
    record_error_finding(task, 0, std::string("Compare error: ") + files->source_path + " vs. " + files->target_path);
    const BYTE* source_end = files->source_view + files->source_size;
    check_view_read();
    record_bad_copy(task, files->target_path,
                    std::mismatch(files->source_view, source_end, files->target_view).first - files->source_view);
    AccountOutcome outcome =
        write_line_account(task, files->source_view, files->target_view, files->source_size);
    if (outcome == AccountOutcome::Equal) {
        // The first read saw a difference that the second did not.
        write_task_log(task, FALSE, "Compare Error = Read Error: No errors on verification compare.\n");
    }
}

void compare_views(Task* task, const CompareFiles* files)
{
    // The views' reads may fault; what the step holds must be in memory by
    // then for the recovery to release it.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    check_view_read();
    if (memcmp(files->source_view, files->target_view, files->source_size) != 0) {
        report_compare_error(task, files);
    }
}

// Releases what the step holds, in the order it was taken up.
void release_files(CompareFiles* files)
{
    if (files->source_view != nullptr) {
        UnmapViewOfFile(files->source_view);
    }
    if (files->target_view != nullptr) {
        UnmapViewOfFile(files->target_view);
    }
    if (files->source_mapping != nullptr) {
        CloseHandle(files->source_mapping);
    }
    if (files->target_mapping != nullptr) {
        CloseHandle(files->target_mapping);
    }
    if (files->source_file != INVALID_HANDLE_VALUE) {
        CloseHandle(files->source_file);
    }
    if (files->target_file != INVALID_HANDLE_VALUE) {
        CloseHandle(files->target_file);
    }
    reset_handles(files);
}

// A copy marked read-only is refused by the delete and stays for inspection.
void close_step(CompareFiles* files)
{
    release_files(files);
    if (files->target_named) {
        DeleteFileA(files->target_path);
    }
    files->target_named = FALSE;
}

void compare_file(ComparePass* pass, DWORD iteration, BYTE index)
{
    Task* task = pass->task;
    CompareFiles* files = &pass->files;
    if (!name_files(pass, iteration, index)) {
        // Copy names only grow with the iteration number; once they no
        // longer fit, no later iteration can be compared either.
        report_error(task, TRUE, "forming file names for comparing.");
    } else if (open_files(task, files) && sizes_match(task, index, files) && map_files(task, files)) {
        compare_views(task, files);
    }
    close_step(files);
    task->progress_ticks.fetch_add(1, std::memory_order_relaxed);
}

void take_cd_entry(ComparePass* pass)
{
    Task* task = pass->task;
    CdFileEntry* entry = task->cd_queue_head.load(std::memory_order_acquire);
    if (entry != nullptr) {
        task->cd_queue_head.store(entry->next, std::memory_order_release);
        GlobalFree(entry);
    }
    pass->cd_entry_in_hand = FALSE;
}

void compare_iteration(ComparePass* pass, DWORD iteration)
{
    Task* task = pass->task;
    if (is_cd_task(task)) {
        // One CD file per iteration.
        if (wait_for_cd_entry(pass)) {
            compare_file(pass, iteration, 0);
            take_cd_entry(pass);
            pause_point(task);
        }
        return;
    }
    BYTE file_count = task->file_count.load();
    for (BYTE index = 0; index < file_count; ++index) {
        compare_file(pass, iteration, index);
        if (iteration_ends_after_file(task)) {
            return;
        }
    }
}

void run_compare_cycle(void* context)
{
    ComparePass* pass = static_cast<ComparePass*>(context);
    Task* task = pass->task;
    if (compare_waits_for_copy(task)) {
        Sleep(idle_poll_ms);
    } else {
        compare_iteration(pass, task->compare_count.fetch_add(1) + 1);
    }
    pause_point(task);
}

void recover_compare_pass(void* context, const TaskGuard* guard)
{
    ComparePass* pass = static_cast<ComparePass*>(context);
    recover_from_exception(guard, "Non-continuable exception comparing files from %s to %s.");
    // The abandoned copy stays for the task cleanup.
    release_files(&pass->files);
    pass->files.target_named = FALSE;
    if (pass->cd_entry_in_hand) {
        take_cd_entry(pass);
    }
}

// The copy side ends first; the cleanup then removes what it left.
void shut_down_compare(Task* task)
{
    while (task->copy_thread_id.load() != 0) {
        Sleep(shutdown_poll_ms);
    }
    log_worker_shutdown(task, "Compare thread shutdown.\n", "Total Compare Iterations = %d\n",
                        (int)task->compare_count.load());
    free_left_cd_entries(task);
    cleanup_task(task);
}

const WorkerSteps compare_steps = {
    .begin = nullptr,
    .pass = run_compare_cycle,
    .recover = recover_compare_pass,
    .shut_down = shut_down_compare,
    .thread_id = &Task::compare_thread_id,
};

}  // namespace

BOOL compare_waits_for_copy(const Task* task)
{
    // Acquire pairs with the copy side's release: a CD entry linked before
    // copy_count was raised is visible to the compare worker.
    return task->copy_count.load(std::memory_order_acquire) - task->compare_count.load() <= 1;
}

DWORD WINAPI compare_worker(LPVOID parameter)
{
    ComparePass pass = {};
    pass.task = static_cast<Task*>(parameter);
    reset_handles(&pass.files);
    return run_worker(compare_steps, pass.task, &pass);
}
