// The copy worker of a task whose source is a disk: it copies every source
// file of the task into the task directory, iteration after iteration, while
// the target keeps room to spare.
#pragma once

#include "platform/win32.h"

// Thread routine; the parameter is the Task. Returns 0 once the task has left
// Working; clearing copy_thread_id is its last act.
DWORD WINAPI copy_worker(LPVOID task);
