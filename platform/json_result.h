// The run's result as JSON (doc/durandex-result.schema.json describes it).
#pragma once

#include <string>

#include "platform/run_result.h"

constexpr int result_schema_version = 1;

std::string result_json_text(const RunResult& result);

// "2026-12-07T15:04:05+01:00": the local time with its offset.
std::string iso8601_local(time_t time);
