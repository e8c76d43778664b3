// The drives tests' ground: the headless window system with a main window and
// the drive-type bitmap, a fixed machine name, every message box recorded.
#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <sstream>

#include "drives/inventory.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "tests/ui/ui_fixture.h"

class DrivesTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        system_fix_computer_name("WORKSTATION7");
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
        run_settings.machine_name[0] = '\0';
        system_fix_computer_name(nullptr);
        set_message_box_observer(nullptr);
        fault_reset();
        std::string ignored;
        drive_map_configure("", &ignored);
        for (const std::string& mount_point : mounts_) {
            umount2(mount_point.c_str(), MNT_DETACH);
            rmdir(mount_point.c_str());
        }
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

    // "C D:cdrom A:removable=/dir", then the inventory. Drives without a
    // directory share /tmp, which the tests only read.
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

    std::vector<std::string> mounts_;  // unmounted and removed afterwards
    int drive_count_ = 0;
    HWND main_ = nullptr;
    std::string boxes_;  // "caption|text|type" lines
};
