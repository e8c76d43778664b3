// The wall-clock limit of "/t": Quit a number of minutes after start-up,
// whether or not the run has started or is paused.
#pragma once

#include "platform/win32.h"

// Starts the thread that posts Quit to the main window after `minutes`.
void start_wall_clock_limit(DWORD minutes);
