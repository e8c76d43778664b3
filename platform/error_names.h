// The symbolic names of the Win32 error codes the platform layer reports, for
// results read by machines: a collector matches ERROR_DISK_FULL, not 112.
#pragma once

#include "platform/win32.h"

// "ERROR_DISK_FULL" for 112; null for a code the layer never reports.
const char* error_code_name(DWORD code);
