// The summary of a run, appended to "c:\Durandex.Log" when the operator quits
// after a run. The file gathers every run's summary and stays read-only in
// between.
#pragma once

#include "platform/win32.h"

constexpr const char* summary_path = "c:\\Durandex.Log";

// Writes the machine, versions, start and end, running time without pauses,
// `total_errors`, a line per drive and a line per task. A task with errors
// also goes to the event log and gets a pointer to its task log. TRUE when
// the whole summary reached the file.
BOOL write_run_summary(DWORD total_errors);

// What the last write_run_summary returned; FALSE before any.
BOOL run_summary_written();
