#include <cstring>

#include "drives/dialog_layout.h"
#include "drives/drives_dialog.h"
#include "drives_fixture.h"
#include "tests/ui/dialog_template_bytes.h"

namespace {

class DrivesDialog : public DrivesTest {
protected:
    HWND open() { return window_settings.drives_dialog = open_drives_dialog(nullptr, main_, drive_count_, &refused_); }

    BOOL refused_ = FALSE;

    // Letters from C on have the buttons from 400 on; U is "Unselect".
    static void click(HWND dialog, char letter)
    {
        const int id = letter == 'U' ? drives_dialog_unselect_id : 400 + (letter - 'C');
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }

    // The task list head first: "E> C>D"; "?" marks a task not made Inactive with 10 files.
    static std::string tasks()
    {
        std::string text;
        for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
            text += (text.empty() ? "" : " ") + std::string(1, task->source_drive->root_path[0]) + ">" +
                    (task->target_drive != nullptr ? std::string(1, task->target_drive->root_path[0]) : "") +
                    (task->file_count == 10 && task->state == TaskState::Inactive ? "" : "?");
        }
        return text;
    }

    bool start_enabled() const { return !view_of(main_).menu.at(0).greyed; }
};

// The template for three drives word for word as a program lays it out, the
// table the dialog then shows, a removable drive read again when clicked, and
// a template that cannot be allocated, which opens no dialog.
TEST_F(DrivesDialog, TemplateTheTableAndAClickedRemovableDriveReadAgain)
{
    char stick[] = "/tmp/durandex-stick-XXXXXX";
    ASSERT_NE(mkdtemp(stick), nullptr);
    const bool mounted = geteuid() == 0 && mount("durandex-test", stick, "tmpfs", 0, "size=4m") == 0;
    mounts_.push_back(stick);
    inventory("C:removable=" + std::string(stick) + " D E:cdrom");
    const std::vector<WORD> want = drives_template(3);
    HGLOBAL block = build_drives_dialog_template(run_settings.drive_list, 3);
    ASSERT_NE(block, nullptr);
    const WORD* words = static_cast<const WORD*>(GlobalLock(block));
    EXPECT_EQ(std::vector<WORD>(words, words + want.size()), want);
    GlobalFree(block);
    Drive* fixed = run_settings.drive_list->next;
    std::strcpy(fixed->fs_name, "EXT4");
    std::strcpy(fixed->volume_name, "system");
    fixed->sectors_per_cluster = 8;
    fixed->bytes_per_sector = 512;
    fixed->free_clusters = 2816;    // 11 MiB
    fixed->total_clusters = 51456;  // 201 MiB
    HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    const auto table = [](const std::string& removable_row) {
        return " [  Done  ]  [Unselect]\n               Volume         Free MB Total MB\n" + rule_row() + "\n" +
               removable_row + "\n [F] [D:] EXT4 system          11.0     201.0\n [C] [E:]                      0.0      0.0\n" +
               rule_row() + "\n\n";
    };
    UpdateWindow(dialog);
    EXPECT_EQ(ui_text_of(dialog), table(" [R] [C:]                      0.0      0.0"));
    if (mounted) {
        click(dialog, 'C');
        UpdateWindow(dialog);
        EXPECT_EQ(ui_text_of(dialog), table(" [R] [C:] TMPFS                4.0      4.0"));
    }
    close_drives_dialog(dialog);
    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(window_settings.dialog_template, nullptr);
    EXPECT_EQ(ui_view().windows.size(), 1u) << "only the main window is shown";
}

// Clicks by drive letter; U is "Unselect", ! makes the next allocation fail,
// 0 marks the run as started.
TEST_F(DrivesDialog, ClicksInPairsMakeTasksAndStartIsOfferedOnlyWhenTheNewestHasItsTarget)
{
    const char* const refused = "Durandex Error|CD-ROM cannot be Target.|48\n";
    const struct {
        const char *clicks, *tasks;
        bool start;
        int main_rows;
        DWORD expects_source;
        const char* boxes;
    } cases[] = {
        {"CD", "C>D", true, 6, 1, ""},
        {"CDE", "E> C>D", false, 7, 0, ""},
        {"CDEU", "C>D", true, 6, 1, ""},
        {"CDU", "C>", false, 6, 0, ""},
        {"CDUU", "", false, 5, 1, ""},
        {"CC", "C>C", true, 6, 1, ""},
        {"FF", "F>", false, 6, 0, refused},
        {"FFD", "F>D", true, 6, 1, refused},
        {"!CD", "D>", false, 6, 0, "Durandex|Memory Alloc for Task structure failed.|64\n"},
        {"C0DU", "C>", false, 6, 0, ""},
    };
    for (const auto& c : cases) {
        inventory("C D E F:cdrom");
        HWND dialog = open();
        ASSERT_NE(dialog, nullptr);
        boxes_.clear();
        for (const char* step = c.clicks; *step != '\0'; ++step) {
            if (*step == '!') {
                fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
            } else if (*step == '0') {
                run_settings.idle.store(0);
            } else {
                click(dialog, *step);
            }
        }
        EXPECT_EQ(tasks(), c.tasks) << c.clicks;
        EXPECT_EQ(start_enabled(), c.start) << c.clicks;
        EXPECT_EQ(view_of(main_).rows, c.main_rows) << c.clicks;
        EXPECT_EQ(run_settings.dialog_expects_source, c.expects_source) << c.clicks;
        EXPECT_EQ(boxes_, c.boxes) << c.clicks;
        close_drives_dialog(dialog);
        forget_records();
    }
}

// After Start (idle 0) the options make nothing and start nothing again;
// command lines that cannot be carried out are refused, having posted
// nothing, and the dialog closes again. The ring over fixed drives and the
// program's exit status are left to the program run tests.
TEST_F(DrivesDialog, CommandLineOptionsMakeTheTasksAndStartTheRunOnceOrAreRefused)
{
    constexpr UINT mark = 999;
    const struct {
        DWORD option_a, option_c, option_invalid, idle;
        const char *drives, *tasks, *refusal;
    } cases[] = {
        {1, 0, 0, 1, "A:removable C D:cdrom E F", "F>C E>F C>E", nullptr},
        {0, 1, 0, 1, "C E:cdrom F:cdrom", "E>C", nullptr},
        {1, 1, 0, 1, "C D E:cdrom", "E>C", nullptr},
        {1, 0, 0, 0, "C D", "", nullptr},
        {1, 0, 0, 1, "A:removable D:cdrom", "", "durandex: /a needs a fixed drive to use as target; none was found.\n"},
        {0, 1, 0, 1, "C D", "", "durandex: /c needs a CD-ROM drive to copy from; none was found.\n"},
        {0, 1, 0, 1, "D:cdrom E", "",
         "durandex: /c needs a fixed drive before the first CD-ROM drive to use as target; none was found.\n"},
        {1, 0, 1, 1, "C D", "", ""},
    };
    for (const auto& c : cases) {
        inventory(c.drives);
        run_settings.option_a = c.option_a;
        run_settings.option_c = c.option_c;
        run_settings.option_invalid = c.option_invalid;
        run_settings.idle = c.idle;
        records().clear();
        ::testing::internal::CaptureStderr();
        HWND dialog = open();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.refusal != nullptr ? c.refusal : "") << c.drives;
        const bool refused = c.refusal != nullptr;
        EXPECT_EQ(refused_, refused) << c.drives;
        EXPECT_EQ(dialog == nullptr, refused) << c.drives;
        EXPECT_EQ(window_settings.dialog_template == nullptr, refused) << "a refused dialog is closed; " << c.drives;
        PostMessageA(main_, WM_COMMAND, mark, 0);  // everything posted before it is handled first
        for (MSG message{}; message.message != WM_COMMAND || message.wParam != mark;) {
            pump_until(WM_COMMAND, &message);
        }
        const bool started = c.idle == 1 && !refused;
        const std::vector<UINT> commands = started ? std::vector<UINT>{command_start, mark} : std::vector<UINT>{mark};
        EXPECT_EQ(recorded_messages(WM_COMMAND), commands) << c.drives;
        EXPECT_EQ(tasks(), c.tasks) << c.drives;
        if (!refused) {
            EXPECT_EQ(IsWindow(dialog), !started) << "Done closes the dialog before Start; " << c.drives;
            EXPECT_TRUE(start_enabled()) << c.drives;
        }
        if (IsWindow(dialog)) {
            close_drives_dialog(dialog);
        }
        forget_records();
    }
}

// The rule moved five pixels up, into the heights that the window system's
// own rows gave the column heads: the dialog reads as before, and a removable
// drive read again repaints from its own row down, not the row above.
TEST_F(DrivesDialog, ARowMovedInTheLayoutIsFollowedByTheTableItsCellsAndARepaint)
{
    inventory("C D:removable E");
    HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    UpdateWindow(dialog);
    const std::string before = ui_text_of(dialog);
    close_drives_dialog(dialog);
    const struct LayoutKept {
        DrivesDialogLayout saved = drives_dialog_layout;
        ~LayoutKept() { drives_dialog_layout = saved; }
    } kept;
    drives_dialog_layout.rule = {.top = 55, .y = 58};
    dialog = open();
    ASSERT_NE(dialog, nullptr);
    UpdateWindow(dialog);
    EXPECT_EQ(ui_text_of(dialog), before);

    HDC dc = GetDC(dialog);
    for (const int position : {0, 1}) {
        TextOutA(dc, 392, drive_row_y(position), "x", 1);
    }
    ReleaseDC(dialog, dc);
    click(dialog, 'D');
    UpdateWindow(dialog);
    std::istringstream lines(ui_text_of(dialog));
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    ASSERT_GE(rows.size(), 5u);
    EXPECT_TRUE(rows[3].ends_with("x")) << rows[3];
    EXPECT_FALSE(rows[4].ends_with("x")) << rows[4];
    close_drives_dialog(dialog);
}

}  // namespace
