// The terminal backend end to end: the probe program runs in a private tmux
// server; keys and mouse reports go in through tmux and the screen and the
// probe's command log are read back.
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "tmux_session.h"

namespace {

std::vector<std::string> lines_of(const std::string& screen)
{
    std::vector<std::string> lines;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool contains(const std::string& haystack, const std::string& needle)
{
    return haystack.find(needle) != std::string::npos;
}

// Where `text` first shows on the screen, in characters and rows; -1, -1 when
// it does not.
std::pair<int, int> locate(const std::string& screen, const std::string& text)
{
    const std::vector<std::string> lines = lines_of(screen);
    for (size_t row = 0; row < lines.size(); ++row) {
        const size_t at = lines[row].find(text);
        if (at != std::string::npos) {
            int column = 0;
            for (size_t i = 0; i < at; ++i) {
                column += (static_cast<unsigned char>(lines[row][i]) & 0xC0) != 0x80 ? 1 : 0;
            }
            return {column, static_cast<int>(row)};
        }
    }
    return {-1, -1};
}

std::string line_with(const std::string& screen, const std::string& text)
{
    const int row = locate(screen, text).second;
    return row < 0 ? std::string() : lines_of(screen)[static_cast<size_t>(row)];
}

class TerminalProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TmuxSession::tmux_available()) {
            GTEST_SKIP() << "tmux is not installed; the terminal backend is tested under tmux";
        }
    }

    void TearDown() override { finish(); }

    // Every probe ends through its Quit item, and a sanitizer build's report
    // in its error output fails the test.
    void finish()
    {
        if (session_ == nullptr || !started_) {
            return;
        }
        session_->send_keys({"M-q"});
        EXPECT_TRUE(session_->wait_until_ended()) << "the probe did not quit";
        const std::string errors = read_file(session_->directory() / "stderr");
        EXPECT_FALSE(contains(errors, "Sanitizer")) << errors;
        EXPECT_FALSE(contains(errors, "runtime error")) << errors;
        session_.reset();
    }

    void launch(int width, int height, const std::string& extra_argument)
    {
        finish();
        session_ = std::make_unique<TmuxSession>(width, height);
        const std::string directory = session_->directory().string();
        const std::string command = "env TERM=xterm-256color LANG=C.UTF-8 DURANDEX_UI=terminal DURANDEX_INSTANCE=" +
                                    shell_quote(directory) + " " + shell_quote(UI_TERMINAL_PROBE) + " " +
                                    shell_quote(log_path()) + extra_argument + " 2>" +
                                    shell_quote(directory + "/stderr");
        started_ = session_->start(command);
        ASSERT_TRUE(started_) << "tmux did not start the probe";
    }

    void start(int width = 100, int height = 30)
    {
        ASSERT_NO_FATAL_FAILURE(launch(width, height, ""));
        ASSERT_TRUE(wait_for_log("ready\n")) << log_;
        ASSERT_TRUE(wait_for("Quit")) << screen_;
    }

    std::string log_path() const { return (session_->directory() / "commands.log").string(); }

    // Sends the keys, then waits until the command log holds `line`; the log
    // read last is kept.
    bool wait_for_log(const std::string& line, const std::vector<std::string>& keys = {})
    {
        session_->send_keys(keys);
        return poll_until([&] {
            log_ = read_file(log_path());
            return contains(log_, line);
        });
    }

    // Sends the keys, then polls the screen until `accept` holds; the screen
    // seen last is kept.
    bool wait_for_screen(const std::function<bool(const std::string&)>& accept,
                         const std::vector<std::string>& keys = {})
    {
        session_->send_keys(keys);
        return poll_until([&] {
            screen_ = session_->capture();
            return accept(screen_);
        });
    }

    // Sends the keys, then waits until `text` is on the screen, or with
    // `shown` false, off it.
    bool wait_for(const std::string& text, const std::vector<std::string>& keys = {}, bool shown = true)
    {
        return wait_for_screen([&](const std::string& screen) { return contains(screen, text) == shown; }, keys);
    }

    void click_on(const std::string& text)
    {
        screen_ = session_->capture();
        const auto [column, row] = locate(screen_, text);
        ASSERT_GE(column, 0) << text << " is not on the screen:\n" << screen_;
        session_->click(column + 1, row);
    }

    std::unique_ptr<TmuxSession> session_;
    bool started_ = false;
    std::string screen_;
    std::string log_;
};

TEST_F(TerminalProbe, MenuItemsAnswerMnemonicsAndClicksButNotWhenGreyedAndRedrawInTheirColours)
{
    start();
    const auto bell_rung = [this] { return session_->tmux("display-message -p '#{window_bell_flag}'") == "1\n"; };
    EXPECT_FALSE(bell_rung());
    const std::string title = lines_of(session_->capture(true)).at(0);
    EXPECT_TRUE(contains(title, "\x1b[4mA")) << "mnemonics underlined: " << title;
    EXPECT_TRUE(contains(title, "\x1b[2;4mG")) << "the greyed item dim: " << title;
    EXPECT_TRUE(contains(title, "Bee\x1b[4mp")) << title;

    click_on("Greyed");
    session_->send_keys({"g"});
    click_on("Alpha");
    ASSERT_TRUE(wait_for_log("main command 201\n")) << log_;
    ASSERT_TRUE(wait_for_log("201\nmain command 201\n", {"M-a"})) << log_;
    EXPECT_EQ(log_, "ready\nmain command 201\nmain command 201\n") << "the greyed item was clicked and keyed first";
    ASSERT_TRUE(wait_for("Alpha chosen 2")) << screen_;
    EXPECT_EQ(locate(screen_, "Alpha chosen 2"), std::make_pair(11, 2))
        << "x 80, y 25: one column into the client area, on its second row under the title line";
    const std::string coloured = line_with(session_->capture(true), "Alpha chosen");
    EXPECT_TRUE(contains(coloured, "\x1b[31m2")) << "the count is drawn in red: " << coloured;

    ASSERT_TRUE(wait_for_log("main command 207\n", {"p"})) << log_;
    EXPECT_TRUE(poll_until(bell_rung)) << "Beep rings the terminal bell";
}

TEST_F(TerminalProbe, ACheckMarkMovesToTheChosenItem)
{
    start();
    ASSERT_TRUE(wait_for("First", {"M-o"})) << screen_;
    EXPECT_TRUE(contains(line_with(screen_, "First"), "✓")) << screen_;
    EXPECT_FALSE(contains(line_with(screen_, "Second"), "✓")) << screen_;
    ASSERT_TRUE(wait_for_log("main command 211\n", {"s"})) << log_;
    ASSERT_TRUE(wait_for("Second", {}, false)) << "choosing closes the pop-up:\n" << screen_;
    ASSERT_TRUE(wait_for("Second", {"F10", "Right", "Right", "Down"})) << screen_;
    EXPECT_TRUE(contains(line_with(screen_, "Second"), "✓")) << screen_;
    EXPECT_FALSE(contains(line_with(screen_, "First"), "✓")) << screen_;
}

TEST_F(TerminalProbe, MessageBoxesAreShownAndAnsweredAlsoAWorkersWhileTheWindowThreadWaits)
{
    start();
    ASSERT_TRUE(wait_for("Probe box text", {"b"})) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Box ")) << screen_;
    ASSERT_TRUE(wait_for_log("box answered 1\n", {"Enter"})) << log_;
    ASSERT_TRUE(wait_for("Probe box text", {}, false)) << screen_;
    ASSERT_TRUE(wait_for("Probe box text", {"b"})) << screen_;
    ASSERT_TRUE(wait_for_log("box answered 2\n", {"Escape"})) << log_;
    ASSERT_TRUE(wait_for("[ Cancel ]", {"b"})) << screen_;
    click_on("[ Cancel ]");
    ASSERT_TRUE(wait_for_log("box answered 2\nmain command 203\nbox answered 2\n")) << log_;

    ASSERT_TRUE(wait_for("Worker box text", {"w"})) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Worker ")) << screen_;
    click_on("[ OK ]");
    ASSERT_TRUE(wait_for_log("worker answered 1\n")) << log_;
    ASSERT_TRUE(wait_for_log("main command 201\n", {"a"})) << "the window thread is free again:\n" << log_;
}

TEST_F(TerminalProbe, DialogMovesOverTheMainWindowOnResizeAndTakesLettersClicksAndEscapeAsId2)
{
    start(120, 30);
    ASSERT_TRUE(wait_for("[  Done  ]", {"d"})) << screen_;
    EXPECT_EQ(locate(screen_, " Drives ").first, 54) << "beside the main window in 120 columns:\n" << screen_;
    session_->tmux("resize-window -x 80 -y 24");
    ASSERT_TRUE(wait_for_screen([](const std::string& screen) { return locate(screen, " Drives ").first == 30; }))
        << "over the main window in 80 columns:\n" << screen_;
    EXPECT_TRUE(contains(lines_of(screen_).at(0), "Quit")) << screen_;
    ASSERT_TRUE(wait_for_log("dialog command 400\n", {"c"})) << log_;
    click_on("[D:]");
    ASSERT_TRUE(wait_for_log("dialog command 401\n")) << log_;
    ASSERT_TRUE(wait_for_log("dialog command 2\n", {"Escape"})) << log_;
    ASSERT_TRUE(wait_for("[  Done  ]", {}, false)) << screen_;
    ASSERT_TRUE(wait_for_log("main command 201\n", {"a"})) << "keys go back to the main window:\n" << log_;
}

// The release half of a click comes on its own after the press has been
// acted on; the terminal must still follow a resize with no key after it.
TEST_F(TerminalProbe, AResizeAfterAClickIsRedrawnWithoutAnotherKey)
{
    start(120, 30);
    ASSERT_TRUE(wait_for("[  Done  ]", {"d"})) << screen_;
    click_on("[D:]");
    ASSERT_TRUE(wait_for_log("dialog command 401\n")) << log_;
    session_->tmux("resize-window -x 80 -y 24");
    ASSERT_TRUE(wait_for_screen([](const std::string& screen) { return locate(screen, " Drives ").first == 30; }))
        << "over the main window in 80 columns:\n" << screen_;
}

TEST_F(TerminalProbe, CtrlCIsTheSignalCommandAndAltF4ClosesTheWindowWithoutOne)
{
    for (const auto& [key, log] : {std::pair{"C-c", "ready\nmain command 100\nended 0\n"},
                                   std::pair{"M-F4", "ready\nended 0\n"}}) {
        start();
        ASSERT_TRUE(wait_for_log("ended 0\n", {key})) << log_;
        EXPECT_EQ(log_, log) << key;
    }
}

TEST_F(TerminalProbe, BoxBeforeAnyWindowIsAnsweredAndTheProgramEnds)
{
    launch(100, 30, " --box-first");
    ASSERT_TRUE(wait_for("Already running.")) << screen_;
    EXPECT_TRUE(contains(screen_, " Probe Error ")) << screen_;
    ASSERT_TRUE(wait_for_log("early box answered 1\n", {"Enter"})) << log_;
    EXPECT_TRUE(session_->wait_until_ended()) << "the exit hands the terminal back and ends";
}

}  // namespace
