// A source file kept from an earlier run is read back from its drive and
// checked against the pattern it must hold before this run copies it: a byte
// that changed at rest would otherwise travel into every copy and compare
// equal there.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// TRUE when the source file `name` of `index` has its table size but no
// longer holds the pattern of either line size, or cannot be read; the fault
// is then counted once and logged with the differing lines. A file that is
// missing or of another size is left to preparation, which writes it afresh.
BOOL source_damaged_at_rest(Task* task, BYTE index, const char* name);

// Renames a damaged source file to "{name}.damaged" (or ".damaged.N" when
// earlier evidence holds that name) and makes it read-only, so that a fresh
// file can take its place. A fatal report when it cannot be moved aside.
BOOL set_damaged_source_aside(Task* task, const char* name);
