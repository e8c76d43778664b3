#include <gtest/gtest.h>

#include <string>

#include "shell/command_line.h"

namespace {

struct CommandLineCase {
    const char* text;
    DWORD minutes;
    DWORD wall_clock;
    DWORD a;
    DWORD c;
    DWORD invalid;
};

TEST(CommandLine, FormsReadAsTheirMeaning)
{
    const CommandLineCase cases[] = {
        {"", 0, 0, 0, 0, 0},
        {"45", 45, 0, 0, 0, 0},
        {"-t:30", 30, 30, 0, 0, 0},
        {"/t:30 /a", 30, 30, 1, 0, 0},
        // The "3" is taken as the separator, so no minutes are left for /t.
        {"-t30", 30, 0, 0, 0, 1},
        {"/t:0", 0, 0, 0, 0, 1},
        {"/t:", 0, 0, 0, 0, 1},
        {"/t", 0, 0, 0, 0, 1},
        {"/a", 0, 0, 1, 0, 0},
        {"/A 10", 10, 0, 1, 0, 0},
        {"-c 1", 1, 0, 1, 1, 0},
        {"/x", 0, 0, 0, 0, 1},
        {"/", 0, 0, 0, 0, 1},
        {"10 -", 10, 0, 0, 0, 1},
        // A leading zero is passed over: the number begins at the first digit 1 to 9.
        {"007", 7, 0, 0, 0, 0},
        {"/a 99999999999", 0xFFFFFFFFu, 0, 1, 0, 0},
    };
    for (const CommandLineCase& expected : cases) {
        const CommandLine line = parse_command_line(expected.text);
        EXPECT_EQ(line.time_limit_minutes, expected.minutes) << expected.text;
        EXPECT_EQ(line.wall_clock_minutes, expected.wall_clock) << expected.text;
        EXPECT_EQ(line.option_a, expected.a) << expected.text;
        EXPECT_EQ(line.option_c, expected.c) << expected.text;
        EXPECT_EQ(line.option_invalid, expected.invalid) << expected.text;
    }
}

TEST(CommandLine, MoreThan255CharactersIsRefusedWhole)
{
    const std::string fits = "/a " + std::string(252, '1');
    EXPECT_EQ(parse_command_line(fits.c_str()).option_invalid, 0u);
    const std::string too_long = "/a " + std::string(297, ' ');
    const CommandLine line = parse_command_line(too_long.c_str());
    EXPECT_EQ(line.option_invalid, 1u);
    EXPECT_EQ(line.option_a, 0u);
}

}  // namespace
