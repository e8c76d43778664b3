// The terminal backend end to end where the durandex terminal tests do not
// reach: the probe program runs in a private tmux server, and its command log
// and screen are read back.
#include "tmux_session.h"

namespace {

class TerminalProbe : public TmuxTest {
protected:
    void start(const std::string& argument = "")
    {
        std::filesystem::remove(in_directory("commands.log"));
        ASSERT_NO_FATAL_FAILURE(launch(100, 30, "DURANDEX_INSTANCE=" + shell_quote(directory_.string()),
                                       shell_quote(UI_TERMINAL_PROBE) + " " +
                                           shell_quote(in_directory("commands.log")) + argument));
        if (argument.empty()) {
            ASSERT_TRUE(wait_for_log("ready\n")) << log_;
            ASSERT_TRUE(wait_for("Quit")) << screen_;
        }
    }

    // Sends the keys, then waits until the command log holds `line`.
    bool wait_for_log(const std::string& line, const std::vector<std::string>& keys = {})
    {
        send_keys(keys);
        const auto logged = [&] { return contains(log_ = read_text_file(in_directory("commands.log")), line); };
        return wait_until(logged, screen_wait, screen_poll);
    }

    std::string log_;
};

TEST_F(TerminalProbe, AWorkersBoxIsAnsweredWhileTheWindowThreadWaitsAndFreesItAfter)
{
    start();
    ASSERT_TRUE(wait_for("Worker box text", {"w"})) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Worker ")) << screen_;
    click_on("[ OK ]");
    ASSERT_TRUE(wait_for_log("worker answered 1\n")) << log_;
    ASSERT_TRUE(wait_for_log("main command 205\n", {"p"})) << "the window thread is free again:\n" << log_;
    send_keys({"M-q"});
    expect_clean_end();
}

TEST_F(TerminalProbe, CtrlCIsTheSignalCommandAndAltF4ClosesTheWindowWithoutOne)
{
    for (const auto& [key, log] : {std::pair{"C-c", "ready\nmain command 100\nended 0\n"},
                                   std::pair{"M-F4", "ready\nended 0\n"}}) {
        start();
        ASSERT_TRUE(wait_for_log("ended 0\n", {key})) << log_;
        EXPECT_EQ(log_, log) << key;
        expect_clean_end();
    }
}

TEST_F(TerminalProbe, ABoxBeforeAnyWindowIsAnsweredAndWithoutATerminalGoesToStandardError)
{
    start(" --box-first");
    ASSERT_TRUE(wait_for("Already running.")) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Error ")) << screen_;
    ASSERT_TRUE(wait_for_log("early box answered 1\n", {"Enter"})) << log_;
    expect_clean_end();

    // curses keeps its start-up record when it finds no terminal; a leak
    // check of sanitizer builds would count it against the probe.
    std::filesystem::remove(in_directory("commands.log"));
    const std::string command = "env ASAN_OPTIONS=detect_leaks=0 DURANDEX_UI=terminal TERM=no-such-terminal " +
                                shell_quote(UI_TERMINAL_PROBE) + " " + shell_quote(in_directory("commands.log")) +
                                " --box-first </dev/null >/dev/null 2>" + shell_quote(in_directory("stderr"));
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_text_file(in_directory("commands.log")), "early box answered 1\n");
    EXPECT_EQ(read_text_file(in_directory("stderr")), "Probe Error: Already running.\n");
}

}  // namespace
