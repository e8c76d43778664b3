#include <sys/mount.h>

#include <cstring>
#include <sstream>

#include "drives/drives_dialog.h"
#include "drives/inventory.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "tests/ui/dialog_template_bytes.h"
#include "tests/ui/ui_fixture.h"

namespace {

constexpr UINT mark = 999;

class DrivesDialog : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        resources_register_menu("DrivesTestMenu", {{"&Start", command_start, {}}, {"&Quit", command_quit, {}}});
        ASSERT_NE(register_class("DrivesTestMain", recording_proc, "DrivesTestMenu"), 0);
        main_ = CreateWindowExA(0, "DrivesTestMain", "Durandex", WS_CAPTION | WS_VISIBLE, 0, 0, 400, 140, nullptr,
                                nullptr, nullptr, nullptr);
        run_settings.main_window.store(main_);
        ASSERT_TRUE(resources_register_bitmap(MAKEINTRESOURCEA(121), 160, 16, {"[R] [F] [N] [C] [M] "}));
        window_settings.drive_type_bitmap = LoadBitmapA(nullptr, MAKEINTRESOURCEA(121));
        set_message_box_observer([this](HWND, const char* text, const char* caption, UINT type) {
            boxes_ += std::string(caption) + "|" + text + "|" + std::to_string(type) + "\n";
        });
    }

    void TearDown() override
    {
        forget_records();
        DeleteObject(window_settings.drive_type_bitmap);
        window_settings = WindowSettings{};
        run_settings.main_window.store(nullptr);
        set_message_box_observer(nullptr);
        fault_reset();
        std::string ignored;
        drive_map_configure("", &ignored);
        umount2(stick_.c_str(), MNT_DETACH);
        rmdir(stick_.c_str());
        UiTest::TearDown();
    }

    static void forget_records()
    {
        for (Task* task; (task = run_settings.task_list) != nullptr; free_record(task)) {
            run_settings.task_list = task->next;
        }
        for (Drive* drive; (drive = run_settings.drive_list) != nullptr; free_record(drive)) {
            run_settings.drive_list = drive->next;
        }
        run_settings.idle.store(1);
        run_settings.dialog_expects_source = 1;
        run_settings.option_a = run_settings.option_c = run_settings.option_invalid = 0;
        window_settings.window_height = 140;
    }

    // "C D:cdrom A:removable=/dir", then the inventory. The dialog only
    // reads its drives, so they may share a directory.
    void inventory(const std::string& drives)
    {
        std::istringstream entries(drives);
        std::string setting, entry;
        for (drive_count_ = 0; entries >> entry; ++drive_count_) {
            setting += entry + (entry.find('=') == std::string::npos ? "=/tmp;" : ";");
        }
        std::string error;
        ASSERT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
        inventory_drives();
    }

    HWND open() { return window_settings.drives_dialog = open_drives_dialog(nullptr, main_, drive_count_); }

    // Letters from C on have the buttons from 400 on; U is "Unselect".
    static void click(HWND dialog, char letter)
    {
        const int id = letter == 'U' ? drives_dialog_unselect_id : 400 + (letter - 'C');
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }

    // Runs the program's loop until a mark posted now reaches the main
    // window, so that everything posted before it has been handled.
    void pump_through_mark()
    {
        PostMessageA(main_, WM_COMMAND, mark, 0);
        MSG message;
        do {
            ASSERT_TRUE(GetMessageA(&message, nullptr, 0, 0));
            HWND dialog = window_settings.drives_dialog;
            if (dialog == nullptr || !IsDialogMessageA(dialog, &message)) {
                DispatchMessageA(&message);
            }
        } while (message.message != WM_COMMAND || message.wParam != mark);
    }

    // The task list head first: "E> C>D".
    static std::string tasks()
    {
        std::string text;
        for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
            text += (text.empty() ? "" : " ") + std::string(1, task->source_drive->root_path[0]) + ">" +
                    (task->target_drive != nullptr ? std::string(1, task->target_drive->root_path[0]) : "");
        }
        return text;
    }

    bool start_enabled() const { return !view_of(main_).menu.at(0).greyed; }

    std::string stick_;
    int drive_count_ = 0;
    HWND main_ = nullptr;
    std::string boxes_;
};

// The template for three drives word for word as a program lays it out, the
// table the dialog then shows, a removable drive read again when clicked, and
// a template that cannot be allocated, which opens no dialog.
TEST_F(DrivesDialog, TemplateTheTableAndAClickedRemovableDriveReadAgain)
{
    char pattern[] = "/tmp/durandex-stick-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    stick_ = pattern;
    const bool mounted = geteuid() == 0 && mount("durandex-test", pattern, "tmpfs", 0, "size=4m") == 0;
    inventory("C:removable=" + stick_ + " D E:cdrom");
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
    EXPECT_EQ(window_settings.dialog_width, 400);
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
    struct Case {
        const char *clicks, *tasks;
        bool start;
        int height, main_rows;
        DWORD expects_source;
        const char* boxes;
    };
    const Case cases[] = {
        {"CD", "C>D", true, 160, 6, 1, ""},
        {"CDE", "E> C>D", false, 180, 7, 0, ""},
        {"CDEU", "C>D", true, 160, 6, 1, ""},
        {"CDU", "C>", false, 160, 6, 0, ""},
        {"CDUU", "", false, 140, 5, 1, ""},
        {"CC", "C>C", true, 160, 6, 1, ""},
        {"FF", "F>", false, 160, 6, 0, refused},
        {"FFD", "F>D", true, 160, 6, 1, refused},
        {"!CD", "D>", false, 160, 6, 0, "Durandex|Memory Alloc for Task structure failed.|64\n"},
        {"C0DU", "C>", false, 160, 6, 0, ""},
    };
    for (const Case& c : cases) {
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
        EXPECT_EQ(window_settings.window_height, c.height) << c.clicks;
        EXPECT_EQ(view_of(main_).rows, c.main_rows) << c.clicks;
        EXPECT_EQ(run_settings.dialog_expects_source, c.expects_source) << c.clicks;
        EXPECT_EQ(boxes_, c.boxes) << c.clicks;
        for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
            EXPECT_EQ(task->file_count.load(), 10) << c.clicks;
            EXPECT_EQ(task->state.load(), TaskState::Inactive) << c.clicks;
        }
        close_drives_dialog(dialog);
        forget_records();
    }
}

// After Start (idle 0) the options make nothing and start nothing again;
// command lines that cannot be carried out end with exit code 255. The ring
// over fixed drives is left to the program run tests.
TEST_F(DrivesDialog, CommandLineOptionsMakeTheTasksAndStartTheRunOnceOrEndWith255)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        DWORD option_a, option_c, option_invalid, idle;
        const char *drives, *tasks, *exit_message;
    } cases[] = {
        {1, 0, 0, 1, "A:removable C D:cdrom E F", "F>C E>F C>E", nullptr},
        {1, 0, 0, 1, "C", "C>C", nullptr},
        {0, 1, 0, 1, "C E:cdrom F:cdrom", "E>C", nullptr},
        {1, 1, 0, 1, "C D E:cdrom", "E>C", nullptr},
        {1, 0, 0, 0, "C D", "", nullptr},
        {0, 0, 1, 1, "C D", "", "^$"},
        {1, 0, 0, 1, "A:removable D:cdrom", "", "^durandex: /a needs a fixed drive to use as target; none was found\\.\n$"},
        {0, 1, 0, 1, "C D", "", "^durandex: /c needs a CD-ROM drive to copy from; none was found\\.\n$"},
        {0, 1, 0, 1, "D:cdrom E", "",
         "^durandex: /c needs a fixed drive before the first CD-ROM drive to use as target; none was found\\.\n$"},
    };
    for (const auto& c : cases) {
        inventory(c.drives);
        run_settings.option_a = c.option_a;
        run_settings.option_c = c.option_c;
        run_settings.option_invalid = c.option_invalid;
        run_settings.idle = c.idle;
        records().clear();
        if (c.exit_message != nullptr) {
            EXPECT_EXIT(open(), ::testing::ExitedWithCode(255), c.exit_message) << c.drives;
        } else {
            HWND dialog = open();
            ASSERT_NE(dialog, nullptr);
            pump_through_mark();
            const bool started = c.idle == 1;
            const std::vector<UINT> commands = started ? std::vector<UINT>{command_start, mark} : std::vector<UINT>{mark};
            EXPECT_EQ(recorded_messages(WM_COMMAND), commands) << c.drives;
            EXPECT_EQ(IsWindow(dialog), !started) << "Done closes the dialog before Start; " << c.drives;
            EXPECT_EQ(window_settings.dialog_template != nullptr, !started) << c.drives;
            EXPECT_EQ(tasks(), c.tasks) << c.drives;
            EXPECT_TRUE(start_enabled()) << c.drives;
            if (!started) {
                close_drives_dialog(dialog);
            }
        }
        forget_records();
    }
}

}  // namespace
