// The process's exit statuses, named here for every layer. A status has eight
// bits, so the error total is capped at 254 rather than cut (256 errors would
// otherwise read as a clean run). Only the program ends the process: the
// layers below hand their refusals up as values.
#pragma once

#include "platform/win32.h"

// An invalid command line, or one whose drives cannot be selected.
constexpr int exit_invalid_command_line = 255;
// A setting, the drive map or the instance lock cannot be used: nothing ran.
constexpr int exit_configuration_error = exit_invalid_command_line;
// A second interrupt while Quit is under way: the process ends at once.
constexpr int exit_interrupted = 130;
constexpr DWORD exit_errors_max = 254;

inline int exit_status_of(DWORD error_total)
{
    return static_cast<int>(error_total < exit_errors_max ? error_total : exit_errors_max);
}
