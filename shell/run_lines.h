// The lines that let an unattended run be followed from its output: one per
// minute tick and the run's last lines.
#pragma once

#include <string>

#include "platform/win32.h"

// "durandex: 0 Days, 00 Hrs, 01 Mins; 210.5 MB/s verified; C:->D: copy 17
// compare 16 errors 0 Working; ..." with the speed since the last such line
// and the tasks in the order they were made.
std::string minute_line(DWORD elapsed_seconds);

// The error total, the bytes verified and the speed of the whole run, and
// where the run summary went; or that no run started.
void report_run_end(DWORD error_total);
