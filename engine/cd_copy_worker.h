// The copy side of a task whose source is a CD-ROM drive: it walks the disc's
// whole tree again and again, copies every eligible file into the task
// directory as {n}.trg and queues the disc file's name for the compare worker,
// which compares the copy with it and deletes the copy.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Thread routine; the parameter is the Task. Returns 0 once the task has left
// Working; clearing copy_thread_id is its last act.
DWORD WINAPI cd_copy_worker(LPVOID task);

// Walks `directory` ("E:" or "E:\a\b", without a trailing backslash) and,
// depth first, its subdirectories, copying and queueing every file of at
// least one byte and at most source_bytes. Directories whose names begin with
// a full stop are passed over.
void walk_cd_directory(Task* task, const char* directory);
