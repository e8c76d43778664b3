// The program from start to end: the single-instance check, resources, the
// main window and the message loop.
#pragma once

#include "platform/win32.h"

// Runs the program for that command-line text (without the program name)
// and returns the exit code that the run decided, or 255 when the
// single-instance lock cannot be taken at all or the Drives dialog refused
// the command line (run_refused).
int run_program(HINSTANCE instance, const char* command_line, int show_mode);
