// The process's exit status. It has eight bits, so the error total is capped
// at 254 rather than cut (256 errors would otherwise read as a clean run);
// 255 is an invalid command line or setting and 130 a second interrupt.
#pragma once

#include "records/run_settings.h"
#include "platform/win32.h"

constexpr DWORD exit_errors_max = 254;
// A setting, the drive map or the instance lock cannot be used: nothing ran.
constexpr int exit_configuration_error = exit_invalid_command_line;

inline int exit_status_of(DWORD error_total)
{
    return static_cast<int>(error_total < exit_errors_max ? error_total : exit_errors_max);
}
