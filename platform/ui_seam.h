// How the window system hands termination signals to the program.
#pragma once

#include "platform/win32.h"

// SIGINT, SIGTERM and SIGHUP each post WM_COMMAND with this id to the main
// window (the first top-level window). Signals within a second of the first
// are the same request; one later than that ends the process at once with
// the program's second_signal_status, as does a signal when there is no main
// window. SIGPIPE is ignored.
void ui_set_signal_command(UINT id, int second_signal_status);
