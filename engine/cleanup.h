// Removes what a finished task leaves on its target drive and no longer
// needs. Runs after the task's workers have ended.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Deletes the copies of iterations compare_count to copy_count, the task log
// and time files when the task had no errors, and the task directory when it
// is empty. Read-only (bad) copies and anything not named by the task stay.
// TRUE when the task directory was removed.
BOOL cleanup_task(Task* task);
