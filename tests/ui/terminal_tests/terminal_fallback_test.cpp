// What the terminal backend does without a usable terminal at all.
#include <gtest/gtest.h>

#include "tmux_session.h"

namespace {

TEST(TerminalFallback, WithoutAUsableTerminalBoxesGoToStandardErrorAndAreAnsweredOk)
{
    const ScratchDirectory scratch;
    const std::filesystem::path& directory = scratch.path();
    ASSERT_FALSE(directory.empty());
    // curses keeps its start-up record when it finds no terminal; a leak
    // check of sanitizer builds would count it against the probe.
    const std::string command =
        "env ASAN_OPTIONS=detect_leaks=0 DURANDEX_UI=terminal TERM=no-such-terminal DURANDEX_INSTANCE=" +
        shell_quote(directory.string()) + " " + shell_quote(UI_TERMINAL_PROBE) + " " +
        shell_quote((directory / "commands.log").string()) + " --box-first </dev/null >" +
        shell_quote((directory / "stdout").string()) + " 2>" + shell_quote((directory / "stderr").string());
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_file(directory / "commands.log"), "early box answered 1\n");
    EXPECT_EQ(read_file(directory / "stderr"), "Probe Error: Already running.\n");
}

}  // namespace
