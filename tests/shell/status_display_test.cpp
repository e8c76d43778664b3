// What the main window shows: the task table in creation order, row cells and
// colours, the elapsed-time line, and the one-second refresh.
#include <array>
#include <atomic>
#include <memory>
#include <sstream>
#include <thread>

#include "drives/drive_clicks.h"
#include "engine/status_cell.h"
#include "records/run_settings.h"
#include "records/window_layout.h"
#include "records/window_settings.h"
#include "shell/commands.h"
#include "shell/resources.h"
#include "shell/status_display.h"
#include "tests/support.h"
#include "tests/ui/ui_fixture.h"

namespace {

class StatusDisplayTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_TRUE(register_program_resources());
        const WNDPROC proc = [](HWND window, UINT message, WPARAM wparam, LPARAM lparam) -> LRESULT {
            return message == WM_PAINT ? (paint_main_window(window), 0)
                                       : DefWindowProcA(window, message, wparam, lparam);
        };
        ASSERT_NE(register_class("StatusTest", proc, "DurandexMenu"), 0);
        window_settings.anim_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(anim_bitmap_id));
        window_settings.tiles_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(tiles_bitmap_id));
        window_settings.anim_frame = 59;
        window_settings.window_height = 140;
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            std::snprintf(drives_[letter - 'A'].root_path, 8, "%c:\\", letter);
        }
    }

    void TearDown() override
    {
        run_settings.task_list = nullptr;
        run_settings.main_window = nullptr;
        run_settings.paused = 0;
        run_settings.run_start_time = 0;
        run_settings.paused_seconds = 0;
        clock_fix_time(0);
        DeleteObject(window_settings.anim_bitmap);
        DeleteObject(window_settings.tiles_bitmap);
        UiTest::TearDown();
    }

    // As the Drives dialog makes a task: at the head, the window 20 pixels higher.
    Task* make_task(char source, char target, TaskState state = TaskState::Inactive,
                    std::array<DWORD, 3> counts = {})
    {
        Task* task = tasks_.emplace_back(std::make_unique<Task>()).get();
        task->source_drive = &drives_[source - 'A'];
        task->target_drive = target != 0 ? &drives_[target - 'A'] : nullptr;
        task->state = state;
        task->copy_count = counts[0];
        task->compare_count = counts[1];
        task->error_count = counts[2];
        task->next = run_settings.task_list;
        run_settings.task_list = task;
        window_settings.window_height += 20;
        return task;
    }

    void show()
    {
        window_ = CreateWindowExA(0, "StatusTest", "Durandex", WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, window_settings.window_height,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(InvalidateRect(window_, nullptr, TRUE));
        ASSERT_TRUE(UpdateWindow(window_));
    }

    std::string row(int index) const
    {
        std::istringstream lines(ui_text_of(window_));
        std::string line;
        for (int at = 0; at <= index && std::getline(lines, line); ++at) {
        }
        return line;
    }

    CellTone tone_at(int col, int row) const
    {
        const WindowView view = view_of(window_);
        return view.cells.at(static_cast<size_t>(row * view.cols + col)).tone;
    }

    HWND window_ = nullptr;
    Drive drives_[26] = {};
    std::vector<std::unique_ptr<Task>> tasks_;
};

TEST_F(StatusDisplayTest, TasksAreListedInTheOrderTheyWereMadeWithRedErrorsAndPausedOverWorking)
{
    Task* tasks[] = {make_task('C', 'D', TaskState::Working, {17, 16, 0}),
                     make_task('E', 'F', TaskState::Working, {12, 11, 3}),
                     make_task('G', 'H', TaskState::Cleanup, {9, 9, 1})};
    show();
    tasks[1]->state = TaskState::Paused;
    ASSERT_TRUE(InvalidateRect(window_, nullptr, FALSE));
    ASSERT_TRUE(UpdateWindow(window_));

    EXPECT_EQ(ui_text_of(window_),
              "   ▐▌     Durandex Version 3.09.02 ╭─DURANDEX─╮\n"
              " ╰▁▁╯                              ╰──────────╯\n" +
                  rule_row() + "\n Task List     Copy    Comp    Err   Status\n" + rule_row() +
                  "\n"
                  " [C:] ─▶ [D:]  17      16      0     Working\n"
                  " [E:] ─▶ [F:]  12      11      3     Paused\n"
                  " [G:] ─▶ [H:]  9       9       1     Cleanup\n");
    EXPECT_EQ((std::vector<LONG>{tasks[0]->row_y, tasks[1]->row_y, tasks[2]->row_y}),
              (std::vector<LONG>{100, 120, 140}));
    for (int row = 5; row < 8; ++row) {
        EXPECT_EQ(tone_at(31, row), row == 5 ? CellTone::Normal : CellTone::Red) << row;
        EXPECT_EQ(tone_at(37, row), CellTone::Normal) << row;
    }
}

// Pause does not wait for a task whose workers have ended, and Unpause says
// "Working" only where a task works again: a task in Cleanup keeps its word.
TEST_F(StatusDisplayTest, PauseSkipsEndedWorkersAndUnpauseRedrawsOnlyTasksThatWorkAgain)
{
    Task* ended = make_task('C', 'D', TaskState::Working);
    Task* stopped = make_task('E', 'F', TaskState::Cleanup);
    show();
    run_settings.main_window = window_;
    std::atomic<bool> paused{false};
    std::thread pause([&] {
        toggle_pause(window_);
        paused = true;
    });
    const bool returned = wait_until([&] { return paused.load(); }, std::chrono::seconds(30));
    ended->state = TaskState::Cleanup;  // lets a Pause that waits go on
    pause.join();
    ASSERT_TRUE(returned) << "Pause waits for workers that have ended";
    EXPECT_EQ(run_settings.paused.load(), 1u);
    EXPECT_EQ(stopped->state.load(), TaskState::Cleanup);

    ended->state = TaskState::Paused;
    toggle_pause(window_);
    EXPECT_EQ(ended->state.load(), TaskState::Working);
    EXPECT_EQ(stopped->state.load(), TaskState::Cleanup);
    EXPECT_EQ(row(5), " [C:] ─▶ [D:]  0       0       0     Working");
    EXPECT_EQ(row(6), " [E:] ─▶ [F:]  0       0       0     Cleanup");
}

TEST_F(StatusDisplayTest, ElapsedTimeLeavesPausedSecondsOutAndTakesEachPartAs16Bits)
{
    run_settings.run_start_time = 1'000'000;
    run_settings.paused_seconds = 600;
    clock_fix_time(1'000'000 + 600 + 90061);
    show();
    EXPECT_EQ(row(1), " ╰▁▁╯     1 Days, 01 Hrs, 01 Mins  ╰──────────╯");
    draw_elapsed_time(window_, 0);
    EXPECT_EQ(row(1), " ╰▁▁╯     0 Days, 00 Hrs, 00 Mins  ╰──────────╯");

    char text[32];
    ASSERT_TRUE(format_elapsed_time(0xFFFFFFFF, text, sizeof text));
    EXPECT_STREQ(text, "-15826 Days, 06 Hrs, 28 Mins");
    EXPECT_FAILS(format_elapsed_time(0, text, 23), false, ERROR_FILENAME_EXCED_RANGE);
}

TEST_F(StatusDisplayTest, RefreshStepsTheAnimationAndDrawsOnlyChangedCounts)
{
    Task* task = make_task('C', 'D');
    show();
    // Marks in the count cells show which ones a refresh draws over.
    const auto mark_counts = [this] {
        HDC dc = GetDC(window_);
        for (const int x : {120, 185, 250}) {
            TextOutA(dc, x, 100, "x", 1);
        }
        ReleaseDC(window_, dc);
    };
    mark_counts();
    task->copy_count = 5;
    task->error_count = 2;
    const std::pair<const char*, const char*> frames[] = {
        {"   ▐▌", " ╰▁▁╯"}, {" ·▐▌·", " ╰██╯"}, {" ▐▌  ", " ╰▁▁╯"}, {"   ▐▌", " ╰▁▁╯"}};
    for (const auto& [top, bottom] : frames) {
        refresh_display(window_);
        EXPECT_TRUE(row(0).starts_with(top) && row(1).starts_with(bottom)) << row(0) << row(1);
    }
    EXPECT_EQ(row(5), " [C:] ─▶ [D:]  5       x       2     Inactive");
    EXPECT_EQ(tone_at(31, 5), CellTone::Red);

    // Compared with what was drawn last, not with the last tick.
    mark_counts();
    task->compare_count = 4;
    refresh_display(window_);
    EXPECT_EQ(row(5), " [C:] ─▶ [D:]  x       4       x     Inactive");
}

// The task rows moved five pixels up (where the window system's own rows
// would put the oldest task on the lower rule's row) and five pixels down
// (where the old repaint of the newest row would reach the row above it):
// either way the window reads as before, a worker's word lands on its task's
// row, and the repaints of a status cell (as the preparation asks) and of the
// newest target (as "Unselect" asks) blank their own cells only.
TEST_F(StatusDisplayTest, TaskRowsMovedInTheLayoutAreFollowedByDrawingRepaintsAndCells)
{
    Task* oldest = make_task('C', 'D', TaskState::Working);
    Task* newest = make_task('E', 'F', TaskState::Working);
    show();
    const std::string before = ui_text_of(window_);
    const struct LayoutKept {
        MainWindowLayout saved = main_window_layout;
        ~LayoutKept() { main_window_layout = saved; }
    } kept;
    for (const int shift : {-5, 5}) {
        DestroyWindow(window_);
        main_window_layout = kept.saved;
        main_window_layout.first_task_top += shift;
        main_window_layout.newest_row_above_bottom -= shift;
        ASSERT_TRUE(register_program_resources());
        newest->target_drive = &drives_['F' - 'A'];
        show();
        run_settings.main_window = window_;
        EXPECT_TRUE(ui_text_of(window_).starts_with(before)) << shift << "\n" << ui_text_of(window_);
        EXPECT_EQ((std::vector<LONG>{oldest->row_y, newest->row_y}), (std::vector<LONG>{100 + shift, 120 + shift}));
        draw_status_word(newest, "Paused ");
        EXPECT_EQ(row(6), " [E:] ─▶ [F:]  0       0       0     Paused") << shift;

        // Marks where painting leaves blanks: past the status words and
        // between the target letters and the copy counts.
        HDC dc = GetDC(window_);
        for (const Task* task : {oldest, newest}) {
            TextOutA(dc, 392, task->row_y, "x", 1);
            TextOutA(dc, 104, task->row_y, "x", 1);
        }
        ReleaseDC(window_, dc);
        const RECT status_cell = status_cell_rect(oldest->row_y);
        ASSERT_TRUE(InvalidateRect(window_, &status_cell, TRUE));
        ASSERT_TRUE(UpdateWindow(window_));
        EXPECT_EQ(row(5), " [C:] ─▶ [D:]x 0       0       0     Working") << shift;
        EXPECT_EQ(row(6), " [E:] ─▶ [F:]x 0       0       0     Working     x") << shift;
        unselect_last_click();
        ASSERT_TRUE(UpdateWindow(window_));
        EXPECT_EQ(row(5), " [C:] ─▶ [D:]x 0       0       0     Working") << shift;
        EXPECT_EQ(row(6), " [E:] ─▶       0       0       0     Working     x") << shift;
    }
    run_settings.dialog_expects_source = 1;
}

}  // namespace
