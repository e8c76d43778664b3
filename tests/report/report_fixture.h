// Shared ground for the logging tests: drives C and D in a temporary
// directory, the event log, registry and debug output redirected beside
// them, a fixed clock, and every message box recorded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "records/drive.h"
#include "records/task.h"
#include "platform/clock.h"
#include "platform/win32.h"

struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    std::string watched_log_at_show;  // the watched log's content while the box was up
};

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // 1996-07-03 at the given hour and minute.
    static void fix_local_time(WORD hour, WORD minute)
    {
        SYSTEMTIME time = {1996, 7, 3, 3, hour, minute, 0, 0};
        clock_fix_local_time(&time);
    }

    // A working task whose log and time files live on drive D.
    Task* make_task(const char* name);
    static void set_counts(Task* task, DWORD copies, DWORD compares, DWORD errors, DWORD exceptions)
    {
        task->copy_count.store(copies);
        task->compare_count.store(compares);
        task->error_count.store(errors);
        task->exception_count.store(exceptions);
    }
    Drive* make_drive(const char* root_path, const char* fs_name, const char* volume_name,
                      DWORD total_clusters, DWORD sectors_per_cluster, DWORD bytes_per_sector);

    std::filesystem::path on_drive_d(const std::string& name) const { return d_dir / name; }
    static std::string read_file(const std::filesystem::path& path);
    // The event log's entries, one block each.
    std::vector<std::string> event_entries() const;
    std::vector<ShownBox> shown_boxes()
    {
        std::lock_guard<std::mutex> lock(boxes_mutex_);
        return boxes_;
    }
    // Exactly count exclamation boxes with an OK button, owned by the main window, all alike.
    void expect_boxes(size_t count, const std::string& caption, const std::string& text);

    std::filesystem::path root, c_dir, d_dir, event_log, debug_output, registry;
    std::filesystem::path watched_log;  // read into each box shown
    HWND main_window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));

private:
    std::vector<std::unique_ptr<Task>> tasks_;
    std::vector<std::unique_ptr<Drive>> drives_;
    std::mutex boxes_mutex_;
    std::vector<ShownBox> boxes_;
};

// The entry the event log holds for one report.
std::string event_entry(DWORD code, const std::string& text);
