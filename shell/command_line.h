// The command line of the program: a minutes number, "/a", "/c" and "/t".
#pragma once

#include "platform/win32.h"

// Only this many characters are examined; a longer command line is refused.
constexpr size_t command_line_max_length = 255;

struct CommandLine {
    DWORD time_limit_minutes = 0;   // the first number whose first digit is 1 to 9
    DWORD wall_clock_minutes = 0;   // "/t", a separator, N > 0
    DWORD option_a = 0;
    DWORD option_c = 0;
    DWORD option_invalid = 0;
};

// Reads the command-line text. A text longer than command_line_max_length
// is invalid as a whole.
CommandLine parse_command_line(const char* text);
