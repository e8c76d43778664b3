// Error entries in the system's application event log. The log is an extra
// channel: nothing on this path reports a failure or holds up the run.
#pragma once

#include "platform/win32.h"

// Makes sure the source is registered under the event log's registry key; an
// existing key is left as it is.
void register_event_source(const char* source_name);

// One error entry with two strings: "<source> error: <last error code>" and
// `text` unchanged.
void report_event(const char* source_name, const char* text);

// For error reports, which can come in storms: `report_event` for the first
// report of its kind, then at most once a minute an entry that counts the
// reports held back (event_repeats.h).
void report_error_event(const char* source_name, const char* text);
