// Task directories that earlier runs left on the drives when they ended
// without their cleanup (a second interrupt, SIGKILL, a power cut). Each is
// cleaned as its own task's cleanup would have: copies that are not read-only
// are deleted, read-only (bad) copies stay, and so do the task logs and time
// files beside the directories, since whether their task had errors is not
// known. Nothing else is touched.
#pragma once

#include "records/task.h"

// Marks the task's own directory as in use for as long as the process lives,
// then cleans every task directory on the task's drives that no live process
// marks, naming each in the task's log and (unless a terminal shows the
// window) on standard error with what was removed and what was kept. Called once the task's directory and log exist.
void clean_leftovers(Task* task);
