// Win32 error codes for the layer: errno translation and the thread's last
// error. Internal to the platform layer.
#pragma once

#include <string>

#include "platform/win32.h"

// The Win32 code for an errno value. ENOENT is 2; callers that know a
// directory on the way is missing use errno_to_win32_for_path.
DWORD errno_to_win32(int error_number);

// As errno_to_win32, but ENOENT becomes 3 when the parent directory of
// native_path does not exist.
DWORD errno_to_win32_for_path(int error_number, const std::string& native_path);

// Sets the last error and returns FALSE, for the common failure return.
BOOL fail_with(DWORD code);

// Sets the last error from errno (with the path rule) and returns FALSE.
BOOL fail_with_errno(int error_number, const std::string& native_path = std::string());
