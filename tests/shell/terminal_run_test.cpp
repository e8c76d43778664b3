// The built program in a terminal under tmux, over temporary drive
// directories, driven with keys and mouse reports.
#include <regex>

#include "program_process.h"
#include "ui/terminal_tests/tmux_session.h"

namespace {

// The C -> D task's copy count and state word; a count of -1 when not shown.
struct TaskRow {
    long copies = -1;
    std::string state;
};

TaskRow task_row(const std::string& screen)
{
    static const std::regex row(R"(\[C:\] ─▶ \[D:\] +(\d+) +\d+ +\d+ +(\w+))");
    std::smatch match;
    return std::regex_search(screen, match, row) ? TaskRow{std::stol(match[1]), match[2]} : TaskRow{};
}

// Each test starts the program in 100 x 30 over drives C and D and a CD-ROM
// E, with a minute passing each second; its exit status goes to "status".
class TerminalRun : public TmuxTest {
protected:
    void SetUp() override
    {
        TmuxTest::SetUp();
        if (!IsSkipped()) {
            ASSERT_NO_FATAL_FAILURE(launch_program());
        }
    }

    void launch_program()
    {
        const auto under_root = [this](const char* name) { return shell_quote((drives_.root / name).string()); };
        const std::string drives = "C:fixed=" + drives_.drives.at('C').string() + ";D:fixed=" +
                                   drives_.drives.at('D').string() + ";E:cdrom=" + drives_.drives.at('E').string();
        ASSERT_NO_FATAL_FAILURE(launch(100, 30,
                                       "DURANDEX_DRIVES=" + shell_quote(drives) + " DURANDEX_INSTANCE=" +
                                           under_root("lock") + " DURANDEX_REGISTRY=" + under_root("registry") +
                                           " DURANDEX_EVENT_LOG=" + under_root("events") + " DURANDEX_TIME_SCALE=60",
                                       shell_quote(DURANDEX_BINARY) + "; echo $? >" + shell_quote(in_directory("status"))));
        ASSERT_TRUE(wait_for("Task List")) << screen_;
    }

    // Quits through the menu and waits for the end; the exit status, or -1.
    int quit(bool by_mouse = false)
    {
        choose(by_mouse, "q", "Quit");
        expect_clean_end();
        const std::string status = read_text_file(in_directory("status"));
        return status.empty() ? -1 : std::stoi(status);
    }

    bool wait_for_row(const std::function<bool(const TaskRow&)>& accept, const std::vector<std::string>& keys = {})
    {
        return wait_for_screen([&](const std::string& screen) { return accept(task_row(screen)); }, keys);
    }

    // A menu bar item drawn in full, not dim, has its mnemonic underlined alone.
    bool wait_for_bar_item(const std::string& underlined, bool enabled)
    {
        return wait_for_screen([&](const std::string& screen) {
            return contains(lines_of(screen).at(0), "\x1b[4m" + underlined) == enabled;
        }, {}, true);
    }

    // The key for a menu item or dialog button, or a click on its text.
    void choose(bool by_mouse, const std::string& key, const std::string& text, int offset = 1)
    {
        by_mouse ? click_on(text, offset) : send_keys({key});
    }

    // Makes the task C -> D by keys and starts it; returns once it copies.
    void start_c_to_d()
    {
        ASSERT_TRUE(wait_for("[  Done  ]", {"d"})) << screen_;
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.copies == 0; }, {"c", "d"})) << screen_;
        ASSERT_TRUE(wait_for("[  Done  ]", {"Escape"}, false)) << screen_;
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.copies > 0; }, {"s"})) << screen_;
    }

    std::string summary() const { return read_text_file(drives_.drives.at('C') / "Durandex.Log"); }

    // Keeps the pane on the screen after the program ends, so that what it
    // printed last can be read; waits for its exit status.
    int wait_for_end_kept_on_screen()
    {
        const std::string status_file = in_directory("status");
        if (!wait_until([&] { return !read_text_file(status_file).empty(); }, screen_wait, screen_poll)) {
            return -1;
        }
        return std::stoi(read_text_file(status_file));
    }

    DriveDirectories drives_;
};

// The same run by keys and by mouse: the task is made in the Drives dialog,
// runs, is paused and unpaused, and Quit ends the program cleanly.
TEST_F(TerminalRun, TaskMadeInTheDialogRunsPausesUnpausesAndQuitsWithStatusZero)
{
    for (const bool by_mouse : {false, true}) {
        SCOPED_TRACE(by_mouse ? "by mouse" : "by keys");
        if (by_mouse) {
            std::filesystem::remove(drives_.drives.at('C') / "Durandex.Log");
            ASSERT_NO_FATAL_FAILURE(launch_program());
        }
        choose(by_mouse, "d", "Drives...");
        ASSERT_TRUE(wait_for("[  Done  ]")) << screen_;
        EXPECT_TRUE(wait_for("E: " + drives_.drives.at('E').string())) << "each letter's directory:\n" << screen_;
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
        ASSERT_TRUE(wait_for_bar_item("P", true)) << "Pause is enabled once preparation is done:\n" << screen_;

        choose(by_mouse, "p", "Pause");
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Paused"; })) << screen_;
        EXPECT_TRUE(contains(lines_of(screen_).at(0), "Unpause")) << screen_;
        EXPECT_TRUE(wait_for_bar_item("Q", false)) << "Quit is greyed while paused:\n" << screen_;
        choose(by_mouse, "n", "Unpause");
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Working"; })) << screen_;
        ASSERT_TRUE(wait_for_bar_item("Q", true)) << screen_;

        EXPECT_EQ(quit(by_mouse), 0);
        EXPECT_TRUE(contains(summary(), "Total Errors = 0\n")) << summary();
        EXPECT_TRUE(std::regex_search(summary(), std::regex(R"(TASK: C: to D: \[10\], Copy:[1-9])"))) << summary();
    }
}

// Bursts of alternating Pause and Unpause keys, ending on either, however the
// window thread takes them: the About box that follows a burst in the queue
// shows once every key was carried out, and then the row's word and the
// workers agree.
TEST_F(TerminalRun, BurstsOfPauseAndUnpauseKeysLeaveTheRowSayingWhatTheWorkersDo)
{
    ASSERT_NO_FATAL_FAILURE(start_c_to_d());
    ASSERT_TRUE(wait_for_bar_item("P", true)) << screen_;
    for (const int keys : {200, 201, 200, 201}) {
        SCOPED_TRACE(std::to_string(keys) + " keys");
        std::vector<std::string> burst;
        for (int key = 0; key < keys; ++key) {
            burst.push_back(key % 2 == 0 ? "p" : "n");
        }
        burst.push_back("a");
        ASSERT_TRUE(wait_for("About Durandex", burst)) << screen_;
        ASSERT_TRUE(wait_for("About Durandex", {"Enter"}, false)) << screen_;
        if (contains(lines_of(screen_).at(0), "Unpause")) {
            ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Paused"; }))
                << "the workers are paused, but the row says otherwise:\n" << screen_;
            send_keys({"n"});
        }
        ASSERT_TRUE(wait_for_row([](const TaskRow& row) { return row.state == "Working"; })) << screen_;
        const long copies = task_row(screen_).copies;
        ASSERT_TRUE(wait_for_row([copies](const TaskRow& row) { return row.copies > copies && row.state == "Working"; }))
            << "the row says Working, but the workers stay parked:\n" << screen_;
    }
    EXPECT_EQ(quit(), 0);
}

// Once the terminal is handed back, a run ended by Quit prints the same last
// lines as an unattended run; a window closed mid-run (Alt+F4) says that no
// summary was written.
TEST_F(TerminalRun, EndedRunPrintsItsLastLinesOnTheTerminalItGaveBack)
{
    for (const bool closed : {false, true}) {
        SCOPED_TRACE(closed ? "window closed" : "Quit");
        if (closed) {
            std::filesystem::remove(drives_.drives.at('C') / "Durandex.Log");
            ASSERT_NO_FATAL_FAILURE(launch_program());
        }
        tmux("set-option -w remain-on-exit on");
        ASSERT_NO_FATAL_FAILURE(start_c_to_d());
        send_keys({closed ? "M-F4" : "q"});
        EXPECT_EQ(wait_for_end_kept_on_screen(), 0);
        const std::string last_line = closed ? "durandex: window closed mid-run; workers not waited for; "
                                               "no summary written; exit status 0."
                                             : "durandex: run summary appended to " +
                                                   (drives_.drives.at('C') / "Durandex.Log").string();
        // The lines may have scrolled into the pane's history.
        ASSERT_TRUE(wait_until([&] {
            screen_ = tmux("capture-pane -p -S -");
            return contains(screen_, last_line);
        }, screen_wait, screen_poll)) << screen_;
        EXPECT_FALSE(contains(screen_, "Task List")) << "the window's screen is gone:\n" << screen_;
        EXPECT_EQ(contains(screen_, "durandex: run ended with 0 errors; exit status 0; "), !closed) << screen_;
        EXPECT_EQ(contains(summary(), "Total Errors = 0\n"), !closed) << summary();
        const std::string errors = read_text_file(in_directory("stderr"));
        EXPECT_FALSE(contains(errors, "Sanitizer") || contains(errors, "runtime error")) << errors;
        tmux("kill-server");
    }
}

TEST_F(TerminalRun, OptionsMoveTheirCheckBeforeStartAndAfterStartBeepAndKeepIt)
{
    const auto checked = [this](const std::string& item) { return contains(screen_, "✓ " + item); };

    ASSERT_TRUE(wait_for("Write Through", {"o", "f"})) << screen_;
    EXPECT_TRUE(checked("Write Through")) << "the NT family's initial choice:\n" << screen_;
    ASSERT_TRUE(wait_for("Write Through", {"r"}, false)) << screen_;
    ASSERT_TRUE(wait_for("Random Access", {"o", "f"})) << screen_;
    EXPECT_TRUE(checked("Random Access") && !checked("Write Through")) << screen_;
    ASSERT_TRUE(wait_for("Random Access", {"Escape", "Escape", "Escape"}, false)) << screen_;
    EXPECT_FALSE(bell_rung()) << "a choice before Start is silent";

    ASSERT_NO_FATAL_FAILURE(start_c_to_d());
    ASSERT_TRUE(wait_for("Random Access", {"o", "f", "n"}, false)) << screen_;
    EXPECT_TRUE(wait_until([this] { return bell_rung(); }, screen_wait, screen_poll)) << "a choice after Start beeps";
    ASSERT_TRUE(wait_for("Sequential Scan", {"o", "f"})) << screen_;
    EXPECT_TRUE(checked("Random Access") && !checked("Normal")) << screen_;
    ASSERT_TRUE(wait_for("Sequential Scan", {"Escape", "Escape", "Escape"}, false)) << screen_;
    ASSERT_TRUE(wait_for("Line Size", {"o", "l", "3"}, false)) << screen_;
    ASSERT_TRUE(wait_for("64  │", {"o", "l"})) << screen_;
    EXPECT_TRUE(checked("64") && !checked("32")) << screen_;
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
    ASSERT_NO_FATAL_FAILURE(start_c_to_d());
    ASSERT_TRUE(wide_bar(screen_)) << screen_;
    tmux("resize-window -x 40 -y 4");
    ASSERT_TRUE(wait_for_screen([&](const std::string& screen) {
        return lines_of(screen).size() == 4 && !wide_bar(screen) && contains(screen, "Durandex  Start");
    })) << screen_;
    EXPECT_EQ(task_row(screen_).copies, -1) << screen_;
    tmux("resize-window -x 100 -y 30");
    ASSERT_TRUE(wait_for_screen([&](const std::string& screen) {
        return wide_bar(screen) && task_row(screen).state == "Working";
    })) << screen_;
    EXPECT_TRUE(contains(screen_, "Task List     Copy    Comp    Err   Status")) << screen_;
    EXPECT_EQ(quit(), 0);
}

}  // namespace
