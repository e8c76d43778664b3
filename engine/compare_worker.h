// The compare worker of a task: it maps every finished copy and its source,
// compares them byte for byte, deletes good copies and keeps bad ones
// read-only with a line-by-line account in the task log. It ends last of the
// task's workers and cleans the task up.
#pragma once

#include "platform/win32.h"
#include "records/task.h"

// The hand-off test: TRUE while the compare worker has no finished iteration
// to compare (the copy worker's latest is still being copied).
BOOL compare_waits_for_copy(const Task* task);

// Thread routine; the parameter is the Task. Returns 0 after the task's
// cleanup; clearing compare_thread_id is its last act.
DWORD WINAPI compare_worker(LPVOID task);
