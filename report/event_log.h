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
