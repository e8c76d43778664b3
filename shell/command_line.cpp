#include "shell/command_line.h"

#include <cstring>

namespace {

// Reads the decimal digits at `text` into *number (saturating, so that a long
// run of digits cannot wrap into a small limit); returns how many it read.
size_t read_number(const char* text, DWORD* number)
{
    ULONGLONG value = 0;
    size_t count = 0;
    for (; text[count] >= '0' && text[count] <= '9'; ++count) {
        value = value * 10 + static_cast<ULONGLONG>(text[count] - '0');
        if (value > 0xFFFFFFFFull) {
            value = 0xFFFFFFFFull;
        }
    }
    *number = static_cast<DWORD>(value);
    return count;
}

DWORD first_minutes_number(const char* text)
{
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at >= '1' && *at <= '9') {
            DWORD minutes = 0;
            read_number(at, &minutes);
            return minutes;
        }
    }
    return 0;
}

// Reads "/t" followed by one separator and the digits after it; returns where
// the walk goes on.
size_t read_wall_clock_switch(const char* text, size_t at, CommandLine* line)
{
    const size_t length = std::strlen(text);
    size_t digits_at = at + 2 <= length ? at + 2 : length;
    DWORD minutes = 0;
    const size_t digits = read_number(text + digits_at, &minutes);
    if (minutes > 0) {
        line->wall_clock_minutes = minutes;
    } else {
        line->option_invalid = 1;
    }
    const size_t after = digits_at + digits + 1;
    return after <= length ? after : length;
}

void read_switches(const char* text, CommandLine* line)
{
    const size_t length = std::strlen(text);
    size_t at = 0;
    while (at < length) {
        if (text[at] != '/' && text[at] != '-') {
            ++at;
            continue;
        }
        const char letter = text[at + 1];
        switch (letter >= 'A' && letter <= 'Z' ? static_cast<char>(letter - 'A' + 'a') : letter) {
        case 'a':
            line->option_a = 1;
            at += 2;
            break;
        case 'c':
            line->option_a = 1;
            line->option_c = 1;
            at += 2;
            break;
        case 't':
            at = read_wall_clock_switch(text, at + 1, line);
            break;
        default:
            line->option_invalid = 1;
            at += letter == '\0' ? 1 : 2;
            break;
        }
    }
}

}  // namespace

CommandLine parse_command_line(const char* text)
{
    CommandLine line;
    if (std::strlen(text) > command_line_max_length) {
        line.option_invalid = 1;
        return line;
    }
    line.time_limit_minutes = first_minutes_number(text);
    read_switches(text, &line);
    return line;
}
