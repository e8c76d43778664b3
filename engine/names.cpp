#include "engine/names.h"

#include <cstdarg>
#include <cstdio>

namespace {

// Every name goes through here so that no format can cut or overrun a
// MAX_PATH buffer.
__attribute__((format(printf, 2, 3))) BOOL format_name(char* out, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(out, MAX_PATH, format, arguments);
    va_end(arguments);
    if (length < 0 || length >= MAX_PATH) {
        out[0] = '\0';
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

BOOL format_product_dir(char* out, const Drive* drive)
{
    return format_name(out, "%sdurandex", drive->root_path);
}

BOOL format_source_name(char* out, const Drive* source, DWORD index)
{
    return format_name(out, "%s\\SRC.%ld", source->dir_path, (long)(index % 1000));
}

BOOL format_copy_name(char* out, const Task* task, DWORD iteration, DWORD index)
{
    return format_name(out, "%s\\%ld.%ld", task->task_dir, (long)(iteration % 100000000),
                       (long)(index % 1000));
}

BOOL format_cd_copy_name(char* out, const Task* task, DWORD iteration)
{
    return format_name(out, "%s\\%ld.trg", task->task_dir, (long)(iteration % 100000000));
}

BOOL format_task_dir(char* out, const Drive* target, DWORD process_id, BYTE sequence)
{
    return format_name(out, "%s\\%d-%d.dir", target->dir_path, (int)(process_id % 10000),
                       (int)sequence);
}

BOOL format_log_path(char* out, const Drive* target, BYTE sequence, DWORD process_id)
{
    return format_name(out, "%s\\log%d.%d", target->dir_path, (int)sequence,
                       (int)(process_id % 1000));
}

BOOL format_time_base(char* out, const Drive* target, BYTE sequence, DWORD process_id)
{
    return format_name(out, "%s\\tim%d%d", target->dir_path, (int)(sequence % 100),
                       (int)(process_id % 1000));
}

BOOL format_time_file_name(char* out, const Task* task, const char* extension)
{
    return format_name(out, "%s.%s", task->time_path, extension);
}
