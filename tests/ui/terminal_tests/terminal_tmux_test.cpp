// The terminal backend end to end: the probe program runs in a private tmux
// server; keys and mouse reports go in through tmux and the screen and the
// probe's command log are read back.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "tmux_session.h"

namespace {

constexpr int default_width = 100;
constexpr int default_height = 30;

std::vector<std::string> lines_of(const std::string& screen)
{
    std::vector<std::string> lines;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

size_t characters_in(const std::string& utf8)
{
    size_t count = 0;
    for (unsigned char byte : utf8) {
        count += (byte & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

// Where `text` first shows on the screen, in characters and rows.
bool locate(const std::string& screen, const std::string& text, int& column, int& row)
{
    const std::vector<std::string> lines = lines_of(screen);
    for (size_t i = 0; i < lines.size(); ++i) {
        const size_t at = lines[i].find(text);
        if (at != std::string::npos) {
            column = static_cast<int>(characters_in(lines[i].substr(0, at)));
            row = static_cast<int>(i);
            return true;
        }
    }
    return false;
}

std::string line_with(const std::string& screen, const std::string& text)
{
    for (const std::string& line : lines_of(screen)) {
        if (line.find(text) != std::string::npos) {
            return line;
        }
    }
    return std::string();
}

bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

class TerminalProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TmuxSession::tmux_available()) {
            GTEST_SKIP() << "tmux is not installed; the terminal backend is tested under tmux";
        }
    }

    // Every probe ends through its Quit item, and a sanitizer build's report
    // in its error output fails the test.
    void TearDown() override
    {
        if (session_ == nullptr || !started_) {
            return;
        }
        session_->send_keys({"M-q"});
        EXPECT_TRUE(session_->wait_until_ended()) << "the probe did not quit";
        std::string errors;
        wait_for_file(session_->directory() / "stderr", [](const std::string&) { return true; }, errors);
        EXPECT_FALSE(contains(errors, "Sanitizer")) << errors;
        EXPECT_FALSE(contains(errors, "runtime error")) << errors;
    }

    void launch(int width, int height, const std::string& extra_argument)
    {
        session_ = std::make_unique<TmuxSession>(width, height);
        const std::string directory = session_->directory().string();
        const std::string command = "env TERM=xterm-256color LANG=C.UTF-8 DURANDEX_UI=terminal DURANDEX_INSTANCE=" +
                                    shell_quote(directory) + " " + shell_quote(UI_TERMINAL_PROBE) + " " +
                                    shell_quote(log_path()) + extra_argument + " 2>" +
                                    shell_quote(directory + "/stderr");
        started_ = session_->start(command);
        ASSERT_TRUE(started_) << "tmux did not start the probe";
    }

    void start(int width = default_width, int height = default_height)
    {
        launch(width, height, "");
        wait_for_log("ready\n");
        ASSERT_TRUE(session_->wait_for_text("Quit", screen_)) << screen_;
    }

    std::string log_path() const { return (session_->directory() / "commands.log").string(); }

    // Waits until the command log holds `line`; the log read last is kept.
    bool wait_for_log(const std::string& line)
    {
        return wait_for_file(log_path(), [&line](const std::string& log) { return contains(log, line); }, log_);
    }

    bool wait_for(const std::string& text) { return session_->wait_for_text(text, screen_); }

    bool wait_until_gone(const std::string& text)
    {
        return session_->wait_for_screen([&text](const std::string& screen) { return !contains(screen, text); },
                                         screen_);
    }

    void click_on(const std::string& text)
    {
        int column = 0;
        int row = 0;
        screen_ = session_->capture();
        ASSERT_TRUE(locate(screen_, text, column, row)) << text << " is not on the screen:\n" << screen_;
        session_->click(column + 1, row);
    }

    std::unique_ptr<TmuxSession> session_;
    bool started_ = false;
    std::string screen_;
    std::string log_;
};

TEST_F(TerminalProbe, MnemonicKeysChooseMenuCommandsWithAndWithoutAlt)
{
    start();
    session_->send_keys({"a"});
    ASSERT_TRUE(wait_for_log("main command 201\n")) << log_;
    session_->send_keys({"M-q"});
    ASSERT_TRUE(wait_for_log("ended 0\n")) << log_;
    EXPECT_EQ(log_, "ready\nmain command 201\nmain command 100\nended 0\n");
}

TEST_F(TerminalProbe, MouseClickOnAMenuItemGivesItsCommandAndAGreyedItemGivesNone)
{
    start();
    click_on("Greyed");
    session_->send_keys({"g"});
    click_on("Alpha");
    ASSERT_TRUE(wait_for_log("main command 201\n")) << log_;
    EXPECT_EQ(log_, "ready\nmain command 201\n") << "the greyed item was clicked and keyed before Alpha";
}

TEST_F(TerminalProbe, MainWindowRepaintShowsUnderTheTitleInItsColours)
{
    start();
    session_->send_keys({"a"});
    ASSERT_TRUE(wait_for("Alpha chosen 1")) << screen_;
    int column = 0;
    int row = 0;
    ASSERT_TRUE(locate(screen_, "Alpha chosen 1", column, row));
    EXPECT_EQ(column, 11) << "x 80 in a client area one column in";
    EXPECT_EQ(row, 2) << "y 25 on the client's second row, under the title line";
    const std::string coloured = line_with(session_->capture(true), "Alpha chosen");
    EXPECT_TRUE(contains(coloured, "\x1b[31m1")) << "the count is drawn in red: " << coloured;
}

TEST_F(TerminalProbe, MnemonicsAreUnderlinedAndGreyedItemsDim)
{
    start();
    const std::string title = lines_of(session_->capture(true)).at(0);
    EXPECT_TRUE(contains(title, "\x1b[4mA")) << title;
    EXPECT_TRUE(contains(title, "\x1b[2;4mG")) << title;
    EXPECT_TRUE(contains(title, "Wai\x1b[4mt")) << title;
}

TEST_F(TerminalProbe, ACheckMarkMovesToTheChosenItem)
{
    start();
    session_->send_keys({"M-o"});
    ASSERT_TRUE(wait_for("First")) << screen_;
    EXPECT_TRUE(contains(line_with(screen_, "First"), "✓")) << screen_;
    EXPECT_FALSE(contains(line_with(screen_, "Second"), "✓")) << screen_;
    session_->send_keys({"s"});
    ASSERT_TRUE(wait_for_log("main command 211\n")) << log_;
    ASSERT_TRUE(wait_until_gone("Second")) << "choosing closes the pop-up:\n" << screen_;
    session_->send_keys({"F10", "Right", "Right", "Down"});
    ASSERT_TRUE(wait_for("Second")) << screen_;
    EXPECT_TRUE(contains(line_with(screen_, "Second"), "✓")) << screen_;
    EXPECT_FALSE(contains(line_with(screen_, "First"), "✓")) << screen_;
}

TEST_F(TerminalProbe, MessageBoxIsShownAndAnsweredByEnterEscapeAndClick)
{
    start();
    session_->send_keys({"b"});
    ASSERT_TRUE(wait_for("Probe box text")) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Box ")) << screen_;
    session_->send_keys({"Enter"});
    ASSERT_TRUE(wait_for_log("box answered 1\n")) << log_;
    ASSERT_TRUE(wait_until_gone("Probe box text")) << screen_;

    session_->send_keys({"b"});
    ASSERT_TRUE(wait_for("Probe box text")) << screen_;
    session_->send_keys({"Escape"});
    ASSERT_TRUE(wait_for_log("box answered 2\n")) << log_;

    session_->send_keys({"b"});
    ASSERT_TRUE(wait_for("[ Cancel ]")) << screen_;
    click_on("[ Cancel ]");
    ASSERT_TRUE(wait_for_log("box answered 2\nmain command 203\nbox answered 2\n")) << log_;
}

TEST_F(TerminalProbe, WorkersBoxIsAnsweredWhileTheWindowThreadWaitsForIt)
{
    start();
    session_->send_keys({"w"});
    ASSERT_TRUE(wait_for("Worker box text")) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Worker ")) << screen_;
    click_on("[ OK ]");
    ASSERT_TRUE(wait_for_log("worker answered 1\n")) << log_;
    session_->send_keys({"a"});
    ASSERT_TRUE(wait_for_log("main command 201\n")) << "the window thread is free again:\n" << log_;
}

TEST_F(TerminalProbe, DialogTakesLettersTabEnterClicksAndEscapeAsId2)
{
    start();
    session_->send_keys({"d"});
    ASSERT_TRUE(wait_for("[  Done  ]")) << screen_;
    session_->send_keys({"c"});
    ASSERT_TRUE(wait_for_log("dialog command 400\n")) << log_;
    click_on("[D:]");
    ASSERT_TRUE(wait_for_log("dialog command 401\n")) << log_;
    session_->send_keys({"Escape"});
    ASSERT_TRUE(wait_for_log("dialog command 2\n")) << log_;
    ASSERT_TRUE(wait_until_gone("[  Done  ]")) << screen_;
    session_->send_keys({"a"});
    ASSERT_TRUE(wait_for_log("main command 201\n")) << "keys go back to the main window:\n" << log_;
}

TEST_F(TerminalProbe, ResizeRedrawsAndMovesTheDialogOverTheMainWindow)
{
    start(120, 30);
    session_->send_keys({"d"});
    ASSERT_TRUE(wait_for(" Drives ")) << screen_;
    int column = 0;
    int row = 0;
    ASSERT_TRUE(locate(screen_, " Drives ", column, row));
    EXPECT_EQ(column, 54) << "beside the main window while 120 columns are there:\n" << screen_;
    session_->resize(80, 24);
    ASSERT_TRUE(session_->wait_for_screen(
        [](const std::string& screen) {
            int at_column = 0;
            int at_row = 0;
            return locate(screen, " Drives ", at_column, at_row) && at_column == 30;
        },
        screen_))
        << screen_;
    EXPECT_TRUE(contains(lines_of(screen_).at(0), "Quit")) << screen_;
}

TEST_F(TerminalProbe, WaitCursorShowsTheBusyMark)
{
    start();
    session_->send_keys({"t"});
    ASSERT_TRUE(wait_for("(busy)")) << screen_;
    session_->send_keys({"t"});
    ASSERT_TRUE(wait_until_gone("(busy)")) << screen_;
}

TEST_F(TerminalProbe, BeepRingsTheTerminalBell)
{
    start();
    EXPECT_FALSE(session_->bell_rung());
    session_->send_keys({"p"});
    ASSERT_TRUE(wait_for_log("main command 207\n")) << log_;
    EXPECT_TRUE(session_->wait_for_screen([this](const std::string&) { return session_->bell_rung(); }, screen_));
}

TEST_F(TerminalProbe, BoxBeforeAnyWindowIsAnsweredAndTheProgramEnds)
{
    launch(default_width, default_height, " --box-first");
    ASSERT_TRUE(wait_for("Already running.")) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Error ")) << screen_;
    session_->send_keys({"Enter"});
    ASSERT_TRUE(wait_for_log("early box answered 1\n")) << log_;
    EXPECT_TRUE(session_->wait_until_ended()) << "the exit hands the terminal back and ends";
}

TEST_F(TerminalProbe, AltF4ClosesTheMainWindowWithoutACommand)
{
    start();
    session_->send_keys({"M-F4"});
    ASSERT_TRUE(wait_for_log("ended 0\n")) << log_;
    EXPECT_EQ(log_, "ready\nended 0\n");
}

TEST_F(TerminalProbe, CtrlCIsTheSignalCommand)
{
    start();
    session_->send_keys({"C-c"});
    ASSERT_TRUE(wait_for_log("ended 0\n")) << log_;
    EXPECT_EQ(log_, "ready\nmain command 100\nended 0\n");
}

}  // namespace
