// Source files are text of fixed-length lines, each carrying its own byte
// offset, so that a damaged region of a copy can be located from its
// neighbours.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Lays whole lines of `line_size` (32 or 64) bytes over `buffer` up to and
// past `size`: the buffer needs a spare line's room beyond `size`.
void fill_source_pattern(BYTE* buffer, DWORD size, DWORD line_size);

// Fills the open `file` with exactly the table size of source file `index`
// (0 to 9) in lines of run_settings.line_size bytes. Nothing is written for a
// task in Cleanup; failures are fatal reports for the task. TRUE when the
// file was written in full.
BOOL generate_source_file(Task* task, BYTE index, HANDLE file);
