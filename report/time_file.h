// A working task's progress, recorded once a minute on its target drive in
// two files by turns: ".one" in even minutes, ".two" in odd ones.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Replaces the file of this minute's parity with the date and time and the
// task's four counters. A record whose error count is higher than any sent
// before (by any task) also goes to the event log. Only the window thread
// calls it.
void write_time_file(Task* task);
