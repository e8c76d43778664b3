// The run as Prometheus metrics in node_exporter's textfile-collector format,
// so that the monitoring a fleet already runs can watch it live.
#pragma once

#include <string>

#include "platform/run_result.h"

std::string metrics_text(const RunResult& result);
