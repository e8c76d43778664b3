// Lines for whoever follows an unattended run: a person reading a log or a
// log collector. They go to standard output when the window system runs
// headless and are dropped while a terminal shows the window, which says the
// same on screen.
#pragma once

#include <string>

#include "platform/win32.h"

// Writes one line (a line feed is added) when headless.
void run_output_line(const std::string& text);

// The native path that a drive path ("c:\Durandex.Log") stands for, so that
// the operator can open the file; the drive path itself when its drive is not
// mapped.
std::string native_path_of(LPCSTR windows_path);
