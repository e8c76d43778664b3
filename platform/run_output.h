// Lines for whoever follows an unattended run: a person reading a log or a
// log collector. They go to standard output when the window system runs
// headless and are dropped while a terminal shows the window, which says the
// same on screen.
#pragma once

#include <string>

#include "platform/win32.h"

// Writes one line (a line feed is added) when headless.
void run_output_line(const std::string& text);

// One of the run's last lines: written at once when headless; while a
// terminal shows the window, kept until run_output_end_lines_release, so
// that they are printed on the terminal once it is handed back.
void run_output_end_line(const std::string& text);

// Writes the kept end lines; called when the window system is done.
void run_output_end_lines_release();

// The native path that a drive path ("c:\Durandex.Log") stands for, so that
// the operator can open the file; the drive path itself when its drive is not
// mapped.
std::string native_path_of(LPCSTR windows_path);
