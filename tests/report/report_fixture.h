// The logging tests' ground: drives C and D and the debug output beside the
// private registry and event log, a fixed clock, every message box recorded.
#pragma once

#include <list>

#include "records/run_settings.h"
#include "platform/clock.h"
#include "platform/drive_map.h"
#include "platform/ui_test_seams.h"
#include "tests/platform/registry_fixture.h"
#include "tests/support.h"

class ReportTest : public RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        std::filesystem::create_directories(c_dir = root / "c");
        std::filesystem::create_directories(d_dir = root / "d");
        debug_output = root / "debug.txt";
        setting_override(Setting::DebugOutput, debug_output.c_str());
        std::string error, drives = "C=" + c_dir.string() + ";D=" + d_dir.string();
        ASSERT_TRUE(drive_map_configure(drives.c_str(), &error)) << error;
        fix_local_time(9, 5);
        run_settings.main_window.store(main_window);
        // Boxes are shown on the reporting thread, which is the test's.
        set_message_box_observer([this](HWND owner, const char* text, const char* caption, UINT type) {
            bool usual = owner == main_window && type == (MB_ICONEXCLAMATION | MB_OK);
            boxes.push_back(std::string(caption) + "|" + text + (usual ? "" : "|unusual owner or type"));
        });
    }

    void TearDown() override
    {
        set_message_box_observer(nullptr);
        clock_fix_local_time(nullptr);
        clock_fix_time(0);
        run_settings.main_window = nullptr;
        run_settings.task_list = nullptr;
        run_settings.drive_list = nullptr;
        run_settings.run_start_time = 0;
        run_settings.paused_seconds = 0;
        run_settings.max_reported_error_count = 0;
        RegistryTest::TearDown();
    }

    // 1996-07-03 at the given hour and minute.
    static void fix_local_time(WORD hour, WORD minute)
    {
        SYSTEMTIME time = {1996, 7, 3, 3, hour, minute, 0, 0};
        clock_fix_local_time(&time);
    }

    // A working task with these counts whose log and time files live on drive D.
    Task* make_task(const char* name, DWORD copies = 0, DWORD compares = 0, DWORD errors = 0, DWORD exceptions = 0)
    {
        Task* task = &tasks_.emplace_back();
        std::snprintf(task->log_path, sizeof task->log_path, "D:\\%s.log", name);
        std::snprintf(task->time_path, sizeof task->time_path, "D:\\%s.time", name);
        task->file_count = 10;
        task->state = TaskState::Working;
        task->copy_count = copies;
        task->compare_count = compares;
        task->error_count = errors;
        task->exception_count = exceptions;
        return task;
    }

    std::filesystem::path c_dir, d_dir, debug_output;
    HWND main_window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));
    std::vector<std::string> boxes;  // "caption|text"

private:
    std::list<Task> tasks_;
};
