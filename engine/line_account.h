// The line-by-line account of a copy that compared unequal: which lines of
// the two views differ and what they hold, written to the task log in a few
// large writes, bounded per file and cut short when the task is cleaning up.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Differing lines dumped per file; further ones are only counted.
constexpr DWORD dumped_line_limit = 100;

// What the walk over the two views found.
enum class AccountOutcome {
    Differs,      // at least one line differs
    Equal,        // every line compared equal this time
    Interrupted,  // the task went to Cleanup before the walk ended
};

// Writes "Line comparisons begin:", the differing lines, the count of lines
// beyond the dump limit and "Line comparisons end." to the task log.
// `size` bytes of each view are walked; the views may fault on reading.
AccountOutcome write_line_account(Task* task, const BYTE* source_view, const BYTE* target_view,
                                  DWORD size);
