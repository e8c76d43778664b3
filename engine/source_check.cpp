#include "engine/source_check.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/line_account.h"
#include "engine/retry.h"
#include "engine/source_pattern.h"
#include "records/run_settings.h"
#include "report/error_report.h"
#include "report/run_findings.h"

namespace {

constexpr DWORD longest_line = 64;
// Names tried for the evidence beside earlier runs' damaged files.
constexpr DWORD kept_name_tries = 1000;

BOOL read_whole(HANDLE file, BYTE* buffer, DWORD size)
{
    DWORD read = 0;
    if (!ReadFile(file, buffer, size, &read, nullptr)) {
        return FALSE;
    }
    if (read != size) {
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
    }
    return TRUE;
}

// The line size the file was written with: an earlier run may have used the
// other one, and only the size decides whether a file is reused. The first
// line tells (every table size holds more than one line of either size); one
// that fits neither is measured against this run's size.
DWORD line_size_written(const BYTE* held, BYTE* expected)
{
    for (DWORD line_size : {32u, 64u}) {
        fill_source_pattern(expected, line_size, line_size);
        if (memcmp(held, expected, line_size) == 0) {
            return line_size;
        }
    }
    return run_settings.line_size.load() == 32 ? 32 : 64;
}

void log_damage(Task* task, const char* name, const BYTE* expected, const BYTE* held, DWORD size)
{
    raise_error_count(task);
    log_formatted(task, TRUE, "Source file damaged at rest: %s\n", name);
    record_error_finding(task, 0, std::string("Source file damaged at rest: ") + name);
    write_line_account(task, expected, held, size);
}

// TRUE when the bytes held differ from the pattern; `expected` has a spare
// line's room beyond `size`.
BOOL pattern_differs(Task* task, const char* name, const BYTE* held, BYTE* expected, DWORD size)
{
    fill_source_pattern(expected, size, line_size_written(held, expected));
    if (memcmp(held, expected, size) == 0) {
        return FALSE;
    }
    log_damage(task, name, expected, held, size);
    return TRUE;
}

BOOL held_bytes_damaged(Task* task, HANDLE file, const char* name, DWORD size)
{
    BYTE* held = (BYTE*)GlobalAlloc(GPTR, (SIZE_T)size + longest_line);
    BYTE* expected = (BYTE*)GlobalAlloc(GPTR, (SIZE_T)size + longest_line);
    BOOL damaged = FALSE;
    if (held == nullptr || expected == nullptr) {
        report_error(task, FALSE, "allocating memory for source check.");
    } else if (!read_whole(file, held, size)) {
        report_formatted(task, FALSE, "reading source file %s.", name);
        damaged = TRUE;
    } else {
        damaged = pattern_differs(task, name, held, expected, size);
    }
    GlobalFree(held);
    GlobalFree(expected);
    return damaged;
}

BOOL format_kept_name(char* out, const char* name, DWORD attempt)
{
    int length = attempt == 0 ? snprintf(out, MAX_PATH, "%s.damaged", name)
                              : snprintf(out, MAX_PATH, "%s.damaged.%lu", name, (unsigned long)attempt + 1);
    if (length < 0 || length >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL source_damaged_at_rest(Task* task, BYTE index, const char* name)
{
    // Opened for reading only, so the bytes come from the drive, not from
    // pages cached since they were written.
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              run_settings.file_flags.load() | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    const DWORD size = run_settings.source_file_sizes[index];
    const BOOL damaged = GetFileSize(file, nullptr) == size && held_bytes_damaged(task, file, name, size);
    CloseHandle(file);
    return damaged;
}

BOOL set_damaged_source_aside(Task* task, const char* name)
{
    char kept[MAX_PATH];
    for (DWORD attempt = 0; attempt < kept_name_tries && format_kept_name(kept, name, attempt); ++attempt) {
        if (MoveFileA(name, kept)) {
            if (!SetFileAttributesA(kept, FILE_ATTRIBUTE_READONLY)) {
                report_formatted(task, FALSE, "setting read-only attribute on file %s.", kept);
            }
            log_formatted(task, TRUE, "Damaged source file kept as %s\n", kept);
            return TRUE;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    report_formatted(task, TRUE, "setting damaged source file %s aside.", name);
    return FALSE;
}
