// The Drives dialog on the headless window system: its template bytes, the
// tasks its clicks make, its table and what the command line makes it do.
#include <sys/mount.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "drives/drives_dialog.h"
#include "drives/inventory.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "tests/ui/ui_fixture.h"

namespace {

class DrivesDialog : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        char pattern[] = "/tmp/durandex-dialog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        resources_register_menu("DrivesTestMenu", {{"&Start", command_start, {}}, {"&Quit", command_quit, {}}});
        ASSERT_NE(register_class("DrivesTestMain", recording_proc, "DrivesTestMenu"), 0);
        main_ = CreateWindowExA(0, "DrivesTestMain", "Durandex", WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0, 0, 400,
                                140, nullptr, nullptr, nullptr, nullptr);
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
        if (!mounted_.empty()) {
            umount2(mounted_.c_str(), MNT_DETACH);
        }
        std::filesystem::remove_all(root_);
        UiTest::TearDown();
    }

    static void forget_records()
    {
        while (Task* task = run_settings.task_list) {
            run_settings.task_list = task->next;
            free_record(task);
        }
        while (Drive* drive = run_settings.drive_list) {
            run_settings.drive_list = drive->next;
            free_record(drive);
        }
        run_settings.idle.store(1);
        run_settings.dialog_expects_source = 1;
        run_settings.option_a = run_settings.option_c = run_settings.option_invalid = 0;
        window_settings.window_height = 140;
    }

    // "C D:cdrom A:removable=/dir": each drive on a directory of its own
    // unless one is given, then the inventory.
    void inventory(const std::string& drives)
    {
        std::istringstream entries(drives);
        std::string setting;
        for (std::string entry; entries >> entry;) {
            if (entry.find('=') == std::string::npos) {
                std::filesystem::create_directories(root_ + "/" + entry[0]);
                entry += "=" + root_ + "/" + entry[0];
            }
            setting += entry + ";";
        }
        std::string error;
        ASSERT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
        inventory_drives();
    }

    HWND open()
    {
        int count = 0;
        for (Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
            ++count;
        }
        window_settings.drives_dialog = open_drives_dialog(nullptr, main_, count);
        return window_settings.drives_dialog;
    }

    static WORD button_of(char letter)
    {
        for (Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
            if (drive->root_path[0] == letter) {
                return drive->button_id;
            }
        }
        return 0;
    }

    // Runs the program's loop until the main window has had this command.
    void pump_until_main_command(UINT id)
    {
        for (int round = 0; round < 1000; ++round) {
            const std::vector<UINT> commands = recorded_messages(WM_COMMAND);
            if (std::find(commands.begin(), commands.end(), id) != commands.end()) {
                return;
            }
            MSG message;
            ASSERT_TRUE(GetMessageA(&message, nullptr, 0, 0));
            HWND dialog = window_settings.drives_dialog;
            if (dialog == nullptr || !IsDialogMessageA(dialog, &message)) {
                DispatchMessageA(&message);
            }
        }
        FAIL() << "command " << id << " never reached the main window";
    }

    // The dialog's text once it has painted itself.
    static std::string painted(HWND dialog)
    {
        MSG message;
        do {
            if (!pump_one(&message)) {
                return "";
            }
        } while (message.message != WM_PAINT || message.hwnd != dialog);
        return ui_text_of(dialog);
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

    std::string root_;
    std::string mounted_;
    HWND main_ = nullptr;
    std::string boxes_;
};

std::string hex_of(const void* block, size_t size)
{
    std::string text;
    char pair[3];
    for (size_t at = 0; at < size; ++at) {
        std::snprintf(pair, sizeof pair, "%02x", static_cast<const unsigned char*>(block)[at]);
        text += pair;
    }
    return text;
}

std::string without_blanks(std::string text)
{
    std::erase(text, ' ');
    return text;
}

TEST_F(DrivesDialog, TemplateHoldsTheDialogItsTwoButtonsAndOneButtonPerDriveByteForByte)
{
    inventory("C D E");
    const std::string title = "0000 0000 4400 7200 6900 7600 6500 7300 0000";
    const std::string buttons =
        "00000350 00000000 0500 0500 2800 0c00 6900 ffff 8000 4400 6f00 6e00 6500 0000 0000 0000"
        "00000050 00000000 3700 0500 2800 0c00 6a00 ffff 8000 5500 6e00 7300 6500 6c00 6500 6300 7400 0000 0000 0000"
        "00000350 00000000 1500 2200 1200 0b00 9001 ffff 8000 4300 3a00 0000 0000 0000";
    const std::string more_drives = "00000050 00000000 1500 2e00 1200 0b00 9101 ffff 8000 4400 3a00 0000 0000 0000"
                                    "00000050 00000000 1500 3a00 1200 0b00 9201 ffff 8000 4500 3a00 0000 0000 0000";
    const std::map<int, std::string> expected = {
        {1, "0000c890 00000000 0300 3200 0f00 c800 3e00" + title + buttons},
        {3, "0000c890 00000000 0500 3200 0f00 c800 5600" + title + buttons + more_drives}};
    for (const auto& [count, bytes] : expected) {
        HGLOBAL block = build_drives_dialog_template(run_settings.drive_list, count);
        ASSERT_NE(block, nullptr);
        std::string want = without_blanks(bytes);
        want.resize(2 * drives_dialog_template_bytes, '0');
        EXPECT_EQ(hex_of(GlobalLock(block), drives_dialog_template_bytes), want) << count << " drives";
        GlobalFree(block);
    }

    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(open(), nullptr);
    EXPECT_EQ(window_settings.dialog_template, nullptr);
    EXPECT_EQ(ui_view().windows.size(), 1u) << "only the main window is shown";
}

TEST_F(DrivesDialog, OpensWithItsTemplateAndDoneClosesAndReleasesIt)
{
    inventory("C D");
    HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    EXPECT_NE(window_settings.dialog_template, nullptr);
    EXPECT_EQ(window_settings.dialog_width, 400);
    EXPECT_EQ(view_of(dialog).controls.size(), 4u);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(drives_dialog_done_id, BN_CLICKED), 0);
    PostMessageA(main_, WM_COMMAND, 999, 0);
    pump_until_main_command(999);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(window_settings.drives_dialog, nullptr);
    EXPECT_EQ(window_settings.dialog_template, nullptr);
}

// Clicks by drive letter; U is "Unselect", ! makes the next allocation fail.
TEST_F(DrivesDialog, ClicksInPairsMakeTasksAndStartIsOfferedOnlyWhenTheNewestHasItsTarget)
{
    struct Case {
        const char* clicks;
        const char* tasks;
        bool start;
        int height;
        int main_rows;
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
        {"FF", "F>", false, 160, 6, 0, "Durandex Error|CD-ROM cannot be Target.|48\n"},
        {"FFD", "F>D", true, 160, 6, 1, "Durandex Error|CD-ROM cannot be Target.|48\n"},
        {"!CD", "D>", false, 160, 6, 0, "Durandex|Memory Alloc for Task structure failed.|64\n"},
    };
    for (const Case& c : cases) {
        inventory("C D E F:cdrom");
        HWND dialog = open();
        ASSERT_NE(dialog, nullptr);
        boxes_.clear();
        for (const char* click = c.clicks; *click != '\0'; ++click) {
            if (*click == '!') {
                fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
            } else {
                const WORD id = *click == 'U' ? drives_dialog_unselect_id : button_of(*click);
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
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

TEST_F(DrivesDialog, TableShowsEachDriveAndAClickedRemovableDriveIsReadAgain)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    const std::string stick = root_ + "/stick";
    std::filesystem::create_directories(stick);
    ASSERT_EQ(mount("durandex-test", stick.c_str(), "tmpfs", 0, "size=4m"), 0);
    mounted_ = stick;
    inventory("A:removable=" + stick + " C E:cdrom");
    Drive* fixed = run_settings.drive_list->next;
    std::strcpy(fixed->fs_name, "EXT4");
    std::strcpy(fixed->volume_name, "system");
    fixed->sectors_per_cluster.store(8);
    fixed->bytes_per_sector.store(512);
    fixed->free_clusters.store(2816);    // 11 MiB
    fixed->total_clusters.store(51456);  // 201 MiB
    HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    const std::string heads = " [  Done  ]  [Unselect]\n               Volume         Free MB Total MB\n";
    EXPECT_EQ(painted(dialog), heads + rule_row() +
                                   "\n [R] [A:]                      0.0      0.0\n"
                                   " [F] [C:] EXT4 system          11.0     201.0\n"
                                   " [C] [E:]                      0.0      0.0\n" +
                                   rule_row() + "\n\n");
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(button_of('A'), BN_CLICKED), 0);
    EXPECT_EQ(painted(dialog), heads + rule_row() +
                                   "\n [R] [A:] TMPFS                4.0      4.0\n"
                                   " [F] [C:] EXT4 system          11.0     201.0\n"
                                   " [C] [E:]                      0.0      0.0\n" +
                                   rule_row() + "\n\n");
    close_drives_dialog(dialog);
}

TEST_F(DrivesDialog, CommandLineOptionsMakeTheTasksCloseTheDialogAndStartTheRun)
{
    struct Case {
        DWORD option_a;
        DWORD option_c;
        const char* drives;
        const char* tasks;
    };
    const Case cases[] = {
        {1, 0, "A:removable C D:cdrom E F", "F>C E>F C>E"},
        {1, 0, "C D E", "E>C D>E C>D"},
        {1, 0, "C", "C>C"},
        {0, 1, "C E:cdrom F:cdrom", "E>C"},
        {1, 1, "C D E:cdrom", "E>C"},
    };
    for (const Case& c : cases) {
        inventory(c.drives);
        run_settings.option_a = c.option_a;
        run_settings.option_c = c.option_c;
        records().clear();
        HWND dialog = open();
        ASSERT_NE(dialog, nullptr);
        pump_until_main_command(command_start);
        EXPECT_EQ(recorded_messages(WM_COMMAND), std::vector<UINT>{command_start}) << c.drives;
        EXPECT_FALSE(IsWindow(dialog)) << "the dialog closes before Start; " << c.drives;
        EXPECT_EQ(window_settings.dialog_template, nullptr) << c.drives;
        EXPECT_EQ(tasks(), c.tasks) << c.drives;
        EXPECT_TRUE(start_enabled()) << c.drives;
        forget_records();
    }
}

TEST_F(DrivesDialog, AfterStartTheDialogOnlyShowsTheDrives)
{
    inventory("C D");
    run_settings.option_a = 1;
    run_settings.idle.store(0);
    HWND dialog = open();
    ASSERT_NE(dialog, nullptr);
    for (WORD id : {button_of('C'), button_of('D'), drives_dialog_unselect_id}) {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
    PostMessageA(main_, WM_COMMAND, 999, 0);
    pump_until_main_command(999);
    EXPECT_EQ(recorded_messages(WM_COMMAND), std::vector<UINT>{999}) << "no second Start";
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(tasks(), "");
    EXPECT_EQ(window_settings.window_height, 140);
}

TEST_F(DrivesDialog, CommandLinesThatCannotBeCarriedOutEndWithExitCode255)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        DWORD option_a;
        DWORD option_c;
        DWORD option_invalid;
        const char* drives;
        const char* message;
    };
    const Case cases[] = {
        {0, 0, 1, "C D", "^$"},
        {1, 0, 0, "A:removable D:cdrom", "durandex: /a needs a fixed drive to use as target; none was found\\.\n"},
        {0, 1, 0, "C D", "durandex: /c needs a CD-ROM drive to copy from; none was found\\.\n"},
        {0, 1, 0, "D:cdrom E",
         "durandex: /c needs a fixed drive before the first CD-ROM drive to use as target; none was found\\.\n"},
    };
    for (const Case& c : cases) {
        inventory(c.drives);
        run_settings.option_a = c.option_a;
        run_settings.option_c = c.option_c;
        run_settings.option_invalid = c.option_invalid;
        // The exiting child never reaches TearDown: it clears its own directory.
        EXPECT_EXIT((std::filesystem::remove_all(root_), open()), ::testing::ExitedWithCode(255), c.message)
            << c.drives;
        forget_records();
    }
}

}  // namespace
