// How a worker follows its task's state: it waits while the task is Starting,
// parks while it is Paused and works while it is Working.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Sleeps in steps of 100 ms while the task is Starting.
void wait_while_starting(Task* task);

// If the task is Paused: sets pause_parked and draws "Paused ", sleeps in
// steps of 200 ms while it stays Paused, doing both again whenever Unpause
// has cleared pause_parked meanwhile, then clears pause_parked.
void pause_point(Task* task);

// The test at the head of a worker's main loop: parks first when the task is
// Paused, then TRUE when it is Working.
BOOL keep_working(Task* task);

// The step after each file of an iteration: the pause point, then TRUE when
// the task is in Cleanup and the rest of the iteration is to be left.
BOOL iteration_ends_after_file(Task* task);
