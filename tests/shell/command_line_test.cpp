#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_line.h"

namespace {

TEST(CommandLine, FormsReadAsTheirMeaning)
{
    const struct {
        const char* text;
        DWORD minutes, wall_clock, a, c, invalid;
    } cases[] = {
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
    for (const auto& expected : cases) {
        const CommandLine line = parse_command_line(expected.text);
        EXPECT_EQ(std::vector<DWORD>({line.time_limit_minutes, line.wall_clock_minutes, line.option_a, line.option_c,
                                      line.option_invalid}),
                  std::vector<DWORD>({expected.minutes, expected.wall_clock, expected.a, expected.c, expected.invalid}))
            << expected.text;
    }
}

TEST(CommandLine, MoreThan255CharactersIsRefusedWhole)
{
    const std::string fits = "/a " + std::string(252, '1');
    EXPECT_EQ(parse_command_line(fits.c_str()).option_invalid, 0u);
    const std::string too_long = "/a " + std::string(297, ' ');
    const CommandLine line = parse_command_line(too_long.c_str());
    EXPECT_EQ(line.option_invalid, 1u);
    EXPECT_EQ(line.option_a, 0u) << "nothing of it is read";
}

}  // namespace
