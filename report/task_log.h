// The task's log file on its target drive: every write opens, appends,
// flushes and closes it, and passes the text to the debugger output as well.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Appends `text` to the task's log, after the local date and time and a blank
// when `stamped` is nonzero. When the log cannot be opened the operator is
// told in a "Durandex Log Error" box and the text reaches only the debugger
// output. The thread's last error is left as the caller had it.
void write_task_log(Task* task, BOOL stamped, const char* text);
