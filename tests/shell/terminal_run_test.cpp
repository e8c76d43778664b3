// The built program in a terminal: it runs in a private tmux server over
// temporary drive directories, driven with keys and mouse reports and read
// back from the captured screen.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "program_process.h"
#include "ui/terminal_tests/tmux_session.h"

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

// The C -> D task's row in the main window: its copy count and state word;
// a count of -1 while the row is not on the screen.
struct TaskRow {
    long copies = -1;
    std::string state;
};

TaskRow task_row(const std::string& screen)
{
    static const std::regex row(R"(\[C:\] ─▶ \[D:\] +(\d+) +\d+ +\d+ +(\w+))");
    std::smatch match;
    if (!std::regex_search(screen, match, row)) {
        return {};
    }
    return {std::stol(match[1]), match[2]};
}

// A menu bar item drawn in full, not dim: its mnemonic underlined alone.
bool bar_item_enabled(const std::string& screen_with_attributes, const std::string& underlined)
{
    const std::string bar = lines_of(screen_with_attributes).at(0);
    return contains(bar, "\x1b[4m" + underlined);
}

class TerminalRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!TmuxSession::tmux_available()) {
            GTEST_SKIP() << "tmux is not installed; the program is tested in a terminal under tmux";
        }
        std::filesystem::create_directory(drives_.root / "lock");
    }

    std::string drive_setting() const
    {
        return "C:fixed=" + drives_.drives.at('C').string() + ";D:fixed=" + drives_.drives.at('D').string() +
               ";E:cdrom=" + drives_.drives.at('E').string();
    }

    // Starts the program in a fresh tmux server, with a minute passing each
    // second; its exit status goes to the file `status` beside the tmux socket.
    void launch()
    {
        session_ = std::make_unique<TmuxSession>(100, 30);
        const std::filesystem::path directory = session_->directory();
        const std::string program = shell_quote(DURANDEX_BINARY) + " 2>" +
                                    shell_quote((directory / "stderr").string()) + "; echo $? >" +
                                    shell_quote((directory / "status").string());
        const std::string command =
            "env TERM=xterm-256color LANG=C.UTF-8 DURANDEX_UI=terminal DURANDEX_DRIVES=" +
            shell_quote(drive_setting()) + " DURANDEX_INSTANCE=" + shell_quote((drives_.root / "lock").string()) +
            " DURANDEX_REGISTRY=" + shell_quote((drives_.root / "registry").string()) +
            " DURANDEX_EVENT_LOG=" + shell_quote((drives_.root / "events").string()) +
            " DURANDEX_TIME_SCALE=60 sh -c " + shell_quote(program);
        ASSERT_TRUE(session_->start(command)) << "tmux did not start the program";
        ASSERT_TRUE(wait_for("Task List")) << screen_;
    }

    // Quits through the menu and waits for the end; the exit status, or -1.
    int quit(bool by_mouse = false)
    {
        choose(by_mouse, "q", "Quit");
        EXPECT_TRUE(session_->wait_until_ended()) << "the program did not quit:\n" << session_->capture();
        const std::string errors = read_file(session_->directory() / "stderr");
        EXPECT_FALSE(contains(errors, "Sanitizer")) << errors;
        EXPECT_FALSE(contains(errors, "runtime error")) << errors;
        const std::string status = read_file(session_->directory() / "status");
        return status.empty() ? -1 : std::stoi(status);
    }

    // Sends the keys, then polls the screen until `accept` holds; the screen
    // seen last is kept.
    bool wait_for_screen(const std::function<bool(const std::string&)>& accept,
                         const std::vector<std::string>& keys = {}, bool with_attributes = false)
    {
        session_->send_keys(keys);
        return poll_until([&] {
            screen_ = session_->capture(with_attributes);
            return accept(screen_);
        });
    }

    bool wait_for(const std::string& text, const std::vector<std::string>& keys = {}, bool shown = true)
    {
        return wait_for_screen([&](const std::string& screen) { return contains(screen, text) == shown; }, keys);
    }

    bool wait_for_row(const std::function<bool(const TaskRow&)>& accept, const std::vector<std::string>& keys = {})
    {
        return wait_for_screen([&](const std::string& screen) { return accept(task_row(screen)); }, keys);
    }

    // Clicks `offset` characters into the first place that shows `text`.
    void click_on(const std::string& text, int offset = 1)
    {
        screen_ = session_->capture();
        const auto [column, row] = locate(screen_, text);
        ASSERT_GE(column, 0) << text << " is not on the screen:\n" << screen_;
        session_->click(column + offset, row);
    }

    // The key for a menu item or dialog button, or a click on the text shown
    // for it.
    void choose(bool by_mouse, const std::string& key, const std::string& text, int offset = 1)
    {
        if (by_mouse) {
            click_on(text, offset);
        } else {
            session_->send_keys({key});
        }
    }

    // Makes the task C -> D by keys and starts it; returns once it copies.
    void start_c_to_d()
    {
        ASSERT_TRUE(wait_for("[  Done  ]", {"d"})) << screen_;
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.copies == 0; }, {"c", "d"})) << screen_;
        ASSERT_TRUE(wait_for("[  Done  ]", {"Escape"}, false)) << screen_;
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.copies > 0; }, {"s"})) << screen_;
    }

    std::string summary() const { return read_file(drives_.drives.at('C') / "Durandex.Log"); }

    DriveDirectories drives_;
    std::unique_ptr<TmuxSession> session_;
    std::string screen_;
};

// The same run by keys and by mouse: the task is made in the Drives dialog,
// runs, is paused and unpaused, and Quit ends the program cleanly.
TEST_F(TerminalRun, TaskMadeInTheDialogRunsPausesUnpausesAndQuitsWithStatusZero)
{
    for (const bool by_mouse : {false, true}) {
        SCOPED_TRACE(by_mouse ? "by mouse" : "by keys");
        std::filesystem::remove(drives_.drives.at('C') / "Durandex.Log");
        ASSERT_NO_FATAL_FAILURE(launch());
        choose(by_mouse, "d", "Drives...");
        ASSERT_TRUE(wait_for("[  Done  ]")) << screen_;
        // The dialog's buttons read "▤HD [C:]"; the task rows read "[C:] ─▶".
        choose(by_mouse, "c", "HD [C:]", 4);
        ASSERT_TRUE(wait_for("[C:] ─▶")) << screen_;
        choose(by_mouse, "d", "HD [D:]", 4);
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Inactive"; })) << screen_;
        choose(by_mouse, "Escape", "[  Done  ]", 3);
        ASSERT_TRUE(wait_for("[  Done  ]", {}, false)) << screen_;

        choose(by_mouse, "s", "Start");
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.copies > 0 && row.state == "Working"; }))
            << screen_;
        const long first_count = task_row(screen_).copies;
        ASSERT_TRUE(wait_for_row([first_count](const TaskRow& row) { return row.copies > first_count; }))
            << "the copy count stays at " << first_count << ":\n" << screen_;
        ASSERT_TRUE(wait_for_screen([](const std::string& screen) { return bar_item_enabled(screen, "P"); }, {},
                                    true))
            << "Pause is enabled once preparation is done:\n" << screen_;

        choose(by_mouse, "p", "Pause");
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Paused"; })) << screen_;
        EXPECT_TRUE(contains(lines_of(screen_).at(0), "Unpause")) << screen_;
        EXPECT_TRUE(wait_for_screen([](const std::string& screen) { return !bar_item_enabled(screen, "Q"); }, {},
                                    true))
            << "Quit is greyed while paused:\n" << screen_;
        choose(by_mouse, "n", "Unpause");
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Working"; })) << screen_;
        ASSERT_TRUE(wait_for_screen([](const std::string& screen) { return bar_item_enabled(screen, "Q"); }, {},
                                    true))
            << screen_;

        EXPECT_EQ(quit(by_mouse), 0);
        EXPECT_TRUE(contains(summary(), "Total Errors = 0\n")) << summary();
        EXPECT_TRUE(std::regex_search(summary(), std::regex(R"(TASK: C: to D: \[10\], Copy:[1-9])"))) << summary();
    }
}

TEST_F(TerminalRun, CdRomPickedAsTargetIsRefusedInABoxAndTheTaskStillWaitsForItsTarget)
{
    ASSERT_NO_FATAL_FAILURE(launch());
    ASSERT_TRUE(wait_for("[  Done  ]", {"d"})) << screen_;
    ASSERT_TRUE(wait_for("[C:] ─▶", {"c"})) << screen_;
    ASSERT_TRUE(wait_for("CD-ROM cannot be Target.", {"e"})) << screen_;
    EXPECT_TRUE(contains(screen_, " Durandex Error ")) << screen_;
    EXPECT_TRUE(contains(screen_, "[ OK ]")) << screen_;
    ASSERT_TRUE(wait_for("CD-ROM cannot be Target.", {"Enter"}, false)) << screen_;
    EXPECT_FALSE(contains(screen_, "─▶ [E:]")) << "no task got E: as target:\n" << screen_;
    ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Inactive"; }, {"d"}))
        << "the next pick is still the target:\n" << screen_;
    ASSERT_TRUE(wait_for("[  Done  ]", {"Escape"}, false)) << screen_;
    EXPECT_EQ(quit(), 0);
    EXPECT_EQ(summary(), "") << "no run was started";
}

TEST_F(TerminalRun, OptionsMoveTheirCheckBeforeStartAndAfterStartBeepAndKeepIt)
{
    ASSERT_NO_FATAL_FAILURE(launch());
    const auto bell_rung = [this] { return session_->tmux("display-message -p '#{window_bell_flag}'") == "1\n"; };
    const auto checked = [this](const std::string& item) { return contains(screen_, "✓ " + item); };

    ASSERT_TRUE(wait_for("Write Through", {"o", "f"})) << screen_;
    EXPECT_TRUE(checked("Write Through")) << "the NT family's initial choice:\n" << screen_;
    ASSERT_TRUE(wait_for("Write Through", {"r"}, false)) << screen_;
    ASSERT_TRUE(wait_for("Random Access", {"o", "f"})) << screen_;
    EXPECT_TRUE(checked("Random Access")) << screen_;
    EXPECT_FALSE(checked("Write Through")) << screen_;
    ASSERT_TRUE(wait_for("Random Access", {"Escape", "Escape", "Escape"}, false)) << screen_;
    EXPECT_FALSE(bell_rung()) << "a choice before Start is silent";

    ASSERT_NO_FATAL_FAILURE(start_c_to_d());
    ASSERT_TRUE(wait_for("Random Access", {"o", "f", "n"}, false)) << screen_;
    EXPECT_TRUE(poll_until(bell_rung)) << "a choice after Start beeps";
    ASSERT_TRUE(wait_for("Sequential Scan", {"o", "f"})) << screen_;
    EXPECT_TRUE(checked("Random Access")) << screen_;
    EXPECT_FALSE(checked("Normal")) << screen_;
    ASSERT_TRUE(wait_for("Sequential Scan", {"Escape", "Escape", "Escape"}, false)) << screen_;
    ASSERT_TRUE(wait_for("Line Size", {"o", "l", "3"}, false)) << screen_;
    ASSERT_TRUE(wait_for("64  │", {"o", "l"})) << screen_;
    EXPECT_TRUE(checked("64")) << screen_;
    EXPECT_FALSE(checked("32")) << screen_;
    ASSERT_TRUE(wait_for("Line Size", {"Escape", "Escape", "Escape"}, false)) << screen_;
    EXPECT_EQ(quit(), 0);
}

// Lines cut off by a shrinking terminal are lost to tmux, and the menu bar
// closes up its title gap when narrow; so what shows after growing again was
// drawn anew by the program.
TEST_F(TerminalRun, AResizeRedrawsTheWindowAndItsTaskTable)
{
    const auto wide_bar = [](const std::string& screen) {
        return lines_of(screen).at(0).rfind(" Durandex          Start", 0) == 0;
    };
    ASSERT_NO_FATAL_FAILURE(launch());
    ASSERT_NO_FATAL_FAILURE(start_c_to_d());
    ASSERT_TRUE(wide_bar(screen_)) << screen_;
    session_->tmux("resize-window -x 40 -y 4");
    ASSERT_TRUE(wait_for_screen([&](const std::string& screen) {
        return lines_of(screen).size() == 4 && !wide_bar(screen) && contains(screen, "Durandex  Start");
    })) << screen_;
    EXPECT_EQ(task_row(screen_).copies, -1) << screen_;
    session_->tmux("resize-window -x 100 -y 30");
    ASSERT_TRUE(wait_for_screen([&](const std::string& screen) {
        return wide_bar(screen) && task_row(screen).state == "Working";
    })) << screen_;
    EXPECT_TRUE(contains(screen_, "Task List     Copy    Comp    Err   Status")) << screen_;
    EXPECT_EQ(quit(), 0);
}

}  // namespace
