#include "engine/leftovers.h"

#include <cctype>
#include <cstring>
#include <string>

#include "report/log_text.h"
#include "report/task_log.h"
#include "platform/directory_locks.h"
#include "platform/run_notice.h"
#include "platform/run_output.h"

namespace {

struct LeftoverCount {
    DWORD removed = 0;
    DWORD kept = 0;
};

// A run of decimal digits from `text`, at most `longest` long; the position
// after it, or nullptr when there is none.
const char* skip_digits(const char* text, size_t longest)
{
    size_t count = 0;
    while (std::isdigit(static_cast<unsigned char>(text[count])) && count < longest) {
        ++count;
    }
    return count == 0 ? nullptr : text + count;
}

// "{p}-{s}.dir": a process id modulo 10000 and an 8-bit sequence number.
bool is_task_directory_name(const char* name)
{
    const char* after = skip_digits(name, 4);
    after = after != nullptr && *after == '-' ? skip_digits(after + 1, 3) : nullptr;
    return after != nullptr && std::strcmp(after, ".dir") == 0;
}

// "{n}.{i}" (iteration modulo 10^8, index modulo 1000) or "{n}.trg": the only
// names the copy workers make in a task directory.
bool is_copy_name(const char* name)
{
    const char* after = skip_digits(name, 8);
    if (after == nullptr || *after != '.') {
        return false;
    }
    const char* index_end = skip_digits(after + 1, 3);
    return (index_end != nullptr && *index_end == '\0') || std::strcmp(after + 1, "trg") == 0;
}

bool is_plain_file(const WIN32_FIND_DATAA& entry)
{
    return (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

// Deletes the copies that are not read-only; counts what it removed and what
// stayed. Any other name is left as it is.
LeftoverCount delete_copies_in(const std::string& directory)
{
    LeftoverCount count;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return count;
    }
    do {
        if (!is_plain_file(entry) || !is_copy_name(entry.cFileName)) {
            continue;
        }
        const bool read_only = (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (!read_only && DeleteFileA((directory + "\\" + entry.cFileName).c_str())) {
            ++count.removed;
        } else {
            ++count.kept;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return count;
}

void report_leftover(Task* task, const std::string& directory, const LeftoverCount& count, BOOL removed)
{
    const std::string what = format_text("%lu copies removed, %lu read-only copies kept, directory %s",
                                         static_cast<unsigned long>(count.removed),
                                         static_cast<unsigned long>(count.kept), removed ? "removed" : "kept");
    write_task_log(task, TRUE, ("Cleaned leftover task directory " + directory + ": " + what + ".\n").c_str());
    run_notice_line("durandex: cleaned leftover task directory " + directory + " (" +
                    native_path_of(directory.c_str()) + "): " + what + ".");
}

void clean_leftover(Task* task, const std::string& directory)
{
    if (!directory_lock_unused(directory.c_str())) {
        return;
    }
    const LeftoverCount count = delete_copies_in(directory);
    const BOOL removed = RemoveDirectoryA(directory.c_str());
    directory_unlock(directory.c_str());
    report_leftover(task, directory, count, removed);
}

void clean_drive(Task* task, const Drive* drive)
{
    const std::string drive_directory = drive->dir_path;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((drive_directory + "\\*.dir").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && is_task_directory_name(entry.cFileName)) {
            clean_leftover(task, drive_directory + "\\" + entry.cFileName);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

}  // namespace

void clean_leftovers(Task* task)
{
    directory_mark_in_use(task->task_dir);
    const Drive* source = task->source_drive;
    const Drive* target = task->target_drive;
    if (source->drive_type != DRIVE_CDROM && source != target) {
        clean_drive(task, source);
    }
    clean_drive(task, target);
}
