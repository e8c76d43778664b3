// Test seam for the machine's identity: fixed host name and process id.
#pragma once

#include "platform/win32.h"

// Null releases the fixed name.
void system_fix_computer_name(const char* name);

// 0 releases the fixed id.
void system_fix_process_id(DWORD process_id);
