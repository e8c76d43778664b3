// Source files are text of fixed-length lines, each carrying its own byte
// offset, so that a damaged region of a copy can be located from its
// neighbours.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Fills the open `file` with exactly the table size of source file `index`
// (0 to 9) in lines of run_settings.line_size bytes. Nothing is written for a
// task in Cleanup; failures are fatal reports for the task. TRUE when the
// file was written in full.
BOOL generate_source_file(Task* task, BYTE index, HANDLE file);
