// The files a run leaves for machines beside its logs: the JSON result and
// the Prometheus textfile metrics, each replaced whole at Start, at every
// minute tick and at the end.
#pragma once

#include <string>

#include "platform/run_result.h"
#include "platform/win32.h"

// Empty paths write nothing.
void set_result_files(const std::string& json_path, const std::string& metrics_path);

// The run as it stands; `ended` with the run's error total once the workers
// are done.
RunResult gather_run_result(BOOL ended, DWORD error_total);

// Writes both files; a failure is told on standard error once per file and
// the run goes on.
void write_result_files(BOOL ended, DWORD error_total);
