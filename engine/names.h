// Names of every file and directory that a run puts on the drives. Each is
// formatted into a char[MAX_PATH]; a name that would not fit is refused with
// FALSE and last error ERROR_FILENAME_EXCED_RANGE, never cut short.
#pragma once

#include "records/drive.h"
#include "records/task.h"
#include "platform/win32.h"

// "{root}durandex": the product directory of a drive.
BOOL format_product_dir(char* out, const Drive* drive);

// "{source dir}\SRC.{i}": the source file of an index.
BOOL format_source_name(char* out, const Drive* source, DWORD index);

// "{task dir}\{n}.{i}": copy of source file i made by copy iteration n.
BOOL format_copy_name(char* out, const Task* task, DWORD iteration, DWORD index);

// "{task dir}\{n}.trg": the n-th file copied from a CD-ROM source.
BOOL format_cd_copy_name(char* out, const Task* task, DWORD iteration);

// "{target dir}\{p}-{s}.dir": the task directory, from the process id and the
// preparation's sequence number.
BOOL format_task_dir(char* out, const Drive* target, DWORD process_id, BYTE sequence);

// "{target dir}\log{s}.{q}": the task log.
BOOL format_log_path(char* out, const Drive* target, BYTE sequence, DWORD process_id);

// "{target dir}\tim{t}{q}": the time file base; the two numbers run together.
BOOL format_time_base(char* out, const Drive* target, BYTE sequence, DWORD process_id);

// "{time base}.{extension}": one of the two time files ("one" or "two").
BOOL format_time_file_name(char* out, const Task* task, const char* extension);
