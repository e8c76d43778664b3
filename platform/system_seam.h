// Test seam for the machine's identity: fixed host name and process id.
#pragma once

#include <string>

#include "platform/win32.h"

// Null releases the fixed name.
void system_fix_computer_name(const char* name);

// 0 releases the fixed id.
void system_fix_process_id(DWORD process_id);

// For the layer: TRUE with the fixed name in *name while one is fixed.
BOOL system_fixed_computer_name(std::string* name);

// For the layer: the fixed id, or 0 when none is fixed.
DWORD system_fixed_process_id();
