// What the main window shows: the task table in creation order, row cells and
// colours, the elapsed-time line, and the one-second refresh.
#include <memory>
#include <sstream>

#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/resources.h"
#include "shell/status_display.h"
#include "tests/ui/ui_fixture.h"

namespace {

const std::string rule = " ────────────────────────────────────────────────";

class StatusDisplayTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        ASSERT_TRUE(register_program_resources());
        ASSERT_NE(register_class("StatusTest", paint_proc, "DurandexMenu"), 0);
        window_settings.anim_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(anim_bitmap_id));
        window_settings.tiles_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(tiles_bitmap_id));
        window_settings.anim_frame = 59;
        window_settings.window_height = 140;
    }

    void TearDown() override
    {
        while (run_settings.task_list != nullptr) {
            Task* task = run_settings.task_list;
            run_settings.task_list = task->next;
            delete task;
        }
        run_settings.run_start_time = 0;
        run_settings.paused_seconds = 0;
        clock_fix_time(0);
        DeleteObject(window_settings.anim_bitmap);
        DeleteObject(window_settings.tiles_bitmap);
        UiTest::TearDown();
    }

    static LRESULT CALLBACK paint_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
    {
        if (message == WM_PAINT) {
            paint_main_window(window);
            return 0;
        }
        return DefWindowProcA(window, message, wparam, lparam);
    }

    // As the Drives dialog makes a task: pushed at the head, the window 20
    // pixels higher.
    Task* make_task(char source, char target)
    {
        auto* task = new Task();
        task->source_drive = drive(source);
        task->target_drive = target != 0 ? drive(target) : nullptr;
        task->next = run_settings.task_list;
        run_settings.task_list = task;
        window_settings.window_height += 20;
        return task;
    }

    Drive* drive(char letter)
    {
        drives_.push_back(std::make_unique<Drive>());
        Drive* made = drives_.back().get();
        made->root_path[0] = letter;
        made->root_path[1] = ':';
        made->root_path[2] = '\\';
        return made;
    }

    void show()
    {
        window_ = CreateWindowExA(0, "StatusTest", "Durandex", WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, window_settings.window_height,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        repaint(TRUE);
    }

    void repaint(BOOL erase)
    {
        ASSERT_TRUE(InvalidateRect(window_, nullptr, erase));
        ASSERT_TRUE(UpdateWindow(window_));
    }

    std::string row(int index) const
    {
        std::istringstream lines(ui_text_of(window_));
        std::string line;
        for (int i = 0; i <= index; ++i) {
            std::getline(lines, line);
        }
        return line;
    }

    CellTone tone_at(int col, int row) const
    {
        const WindowView view = view_of(window_);
        return view.cells.at(static_cast<size_t>(row * view.cols + col)).tone;
    }

    HWND window_ = nullptr;
    std::vector<std::unique_ptr<Drive>> drives_;
};

TEST_F(StatusDisplayTest, ThreeTasksAreListedInTheOrderTheyWereMade)
{
    Task* first = make_task('C', 'D');
    Task* second = make_task('E', 'F');
    Task* third = make_task('G', 'H');
    show();

    EXPECT_EQ(ui_text_of(window_),
              "   ▐▌     Durandex Version 3.09.02 ╭─DURANDEX─╮\n"
              " ╰▁▁╯                              ╰──────────╯\n" +
                  rule + "\n Task List     Copy    Comp    Err   Status\n" + rule +
                  "\n"
                  " [C:] ─▶ [D:]  0       0       0     Inactive\n"
                  " [E:] ─▶ [F:]  0       0       0     Inactive\n"
                  " [G:] ─▶ [H:]  0       0       0     Inactive\n");
    EXPECT_EQ(first->row_y.load(), 100);
    EXPECT_EQ(second->row_y.load(), 120);
    EXPECT_EQ(third->row_y.load(), 140);
}

TEST_F(StatusDisplayTest, ARowShowsItsDrivesCountsAndStateWithRedErrorsOnly)
{
    const struct {
        char source;
        char target;
        DWORD errors;
        TaskState state;
        const char* shown;
        CellTone error_tone;
    } cases[] = {
        {'M', 0, 0, TaskState::Inactive, " [M:] ─▶       7       6       0     Inactive", CellTone::Normal},
        {'Z', 'A', 1, TaskState::Working, " [Z:] ─▶ [A:]  7       6       1     Working", CellTone::Red},
        {'B', 'Y', 12, TaskState::Cleanup, " [B:] ─▶ [Y:]  7       6       12    Cleanup", CellTone::Red},
    };
    for (const auto& each : cases) {
        Task* task = make_task(each.source, each.target);
        task->copy_count = 7;
        task->compare_count = 6;
        task->error_count = each.errors;
        task->state = each.state;
    }
    show();
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(cases[k].shown);
        EXPECT_EQ(row(5 + k), cases[k].shown);
        EXPECT_EQ(tone_at(31, 5 + k), cases[k].error_tone);
        EXPECT_EQ(tone_at(15, 5 + k), CellTone::Normal);
        EXPECT_EQ(tone_at(37, 5 + k), CellTone::Normal);
    }
}

TEST_F(StatusDisplayTest, PausedCoversTheWholeOfWorking)
{
    Task* task = make_task('C', 'D');
    task->state = TaskState::Working;
    show();
    task->state = TaskState::Paused;
    repaint(FALSE);
    EXPECT_EQ(row(5), " [C:] ─▶ [D:]  0       0       0     Paused");
}

TEST_F(StatusDisplayTest, ElapsedTimeLeavesPausedSecondsOut)
{
    run_settings.run_start_time = 1'000'000;
    run_settings.paused_seconds = 600;
    clock_fix_time(1'000'000 + 600 + 90061);
    show();
    EXPECT_EQ(row(1), " ╰▁▁╯     1 Days, 01 Hrs, 01 Mins  ╰──────────╯");

    draw_elapsed_time(window_, 3 * 3600 + 4 * 60);
    EXPECT_EQ(row(1), " ╰▁▁╯     0 Days, 03 Hrs, 04 Mins  ╰──────────╯");
}

TEST_F(StatusDisplayTest, ElapsedTimeFormatsEachPartAsASigned16BitValue)
{
    const struct {
        DWORD seconds;
        const char* text;
    } cases[] = {
        {0, "0 Days, 00 Hrs, 00 Mins"},
        {86399, "0 Days, 23 Hrs, 59 Mins"},
        {90061, "1 Days, 01 Hrs, 01 Mins"},
        {0xFFFFFFFF, "-15826 Days, 06 Hrs, 28 Mins"},
    };
    for (const auto& each : cases) {
        char text[32];
        ASSERT_TRUE(format_elapsed_time(each.seconds, text, sizeof text));
        EXPECT_STREQ(text, each.text);
    }
    char small[23];
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(format_elapsed_time(0, small, sizeof small));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
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

    const struct {
        const char* top;
        const char* bottom;
    } frames[] = {{"   ▐▌", " ╰▁▁╯"}, {" ·▐▌·", " ╰██╯"}, {" ▐▌  ", " ╰▁▁╯"}, {"   ▐▌", " ╰▁▁╯"}};
    for (const auto& frame : frames) {
        refresh_display(window_);
        EXPECT_TRUE(row(0).starts_with(frame.top)) << row(0);
        EXPECT_TRUE(row(1).starts_with(frame.bottom)) << row(1);
    }
    EXPECT_EQ(row(5), " [C:] ─▶ [D:]  5       x       2     Inactive");
    EXPECT_EQ(tone_at(31, 5), CellTone::Red);

    // Compared with what was drawn last, not with the last tick.
    mark_counts();
    task->compare_count = 4;
    refresh_display(window_);
    EXPECT_EQ(row(5), " [C:] ─▶ [D:]  x       4       x     Inactive");
}

}  // namespace
