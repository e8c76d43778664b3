#include "engine/source_pattern.h"

#include <cstdio>
#include <cstring>

#include "records/run_settings.h"
#include "report/error_report.h"

namespace {

const char* pattern_format(DWORD line_size)
{
    return line_size == 32 ? "%08x->QuibIsReallyASwellGuy\n"
                           : "%08x->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz\n";
}

// A write that claims success but stops short has left the file incomplete;
// give the report a code so that it is treated as the failure it is.
BOOL write_whole(HANDLE file, const BYTE* buffer, DWORD size)
{
    DWORD written = 0;
    if (!WriteFile(file, buffer, size, &written, nullptr)) {
        return FALSE;
    }
    if (written != size) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void fill_source_pattern(BYTE* buffer, DWORD size, DWORD line_size)
{
    const char* format = pattern_format(line_size);
    char line[80];
    for (DWORD offset = 0; offset < size; offset += line_size) {
        snprintf(line, sizeof line, format, (unsigned int)offset);
        memcpy(buffer + offset, line, line_size);
    }
}

BOOL generate_source_file(Task* task, BYTE index, HANDLE file)
{
    if (task->state.load() == TaskState::Cleanup) {
        return FALSE;
    }
    DWORD size = run_settings.source_file_sizes[index];
    DWORD line_size = run_settings.line_size.load() == 32 ? 32 : 64;
    BYTE* buffer = (BYTE*)GlobalAlloc(GPTR, (SIZE_T)size + line_size);
    if (buffer == nullptr) {
        report_error(task, TRUE, "allocating memory for source buffer.");
        return FALSE;
    }
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
        report_error(task, TRUE, "setting file pointer for source file creation.");
    }
    fill_source_pattern(buffer, size, line_size);
    // Cutting at the end of the write drops what a longer old file held beyond it.
    BOOL written = write_whole(file, buffer, size) && SetEndOfFile(file);
    if (!written) {
        report_error(task, TRUE, "writing to source file.");
    }
    GlobalFree(buffer);
    return written;
}
