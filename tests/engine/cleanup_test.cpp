#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/cleanup.h"
#include "temp_drives.h"

namespace {

using Names = std::vector<std::string>;

// Only the copies of iterations compare_count..copy_count are deleted, then
// the task directory if it is empty; the logs go only when there were no errors.
TEST(CleanupTest, DeletesTheUncomparedCopiesAndTheLogsOfATaskWithoutErrors)
{
    const Names logs = {"log1.77", "tim177.one", "tim177.two"};
    const struct { const char* what; DWORD compared, copied; BYTE files; UINT source_type; DWORD errors; Names copies, left; } cases[] = {
        {"clean", 4, 5, 3, DRIVE_FIXED, 0, {"4.0", "4.1", "4.2", "5.0", "5.1"}, {}},
        // 3.x lies before the range, 7.0 after it, 4.3 beyond the task's files.
        {"range", 4, 6, 3, DRIVE_FIXED, 0, {"3.0", "4.0", "4.1", "4.2", "4.3", "5.0", "5.2", "6.1", "7.0", "notes.txt"},
         {"3.0", "4.3", "7.0", "notes.txt"}},
        {"compare ahead", 8, 7, 3, DRIVE_FIXED, 0, {"7.0", "8.0"}, {"7.0", "8.0"}},
        // The bad copy is read-only and stays with the logs.
        {"errors", 2, 3, 3, DRIVE_FIXED, 2, {"2.0", "2.1", "3.0"}, {"2.1"}},
        {"cd-rom", 8, 9, 3, DRIVE_CDROM, 0, {"7.trg", "8.trg", "9.trg", "8.0", "10.trg"}, {"10.trg", "7.trg", "8.0"}},
        {"names wrap", 99999999, 100000001, 1, DRIVE_FIXED, 0, {"99999999.0", "0.0", "1.0", "2.0"}, {"2.0"}},
        // The last count a 32-bit counter holds still ends the walk.
        {"counter top", 0xFFFFFFFE, 0xFFFFFFFF, 1, DRIVE_FIXED, 0, {"94967294.0", "94967295.0", "2.0"}, {"2.0"}},
    };
    for (const auto& row : cases) {
        TempDrives drives;
        drives.add_drive('C', row.source_type);
        const std::string target_dir = drives.add_drive('D') + "/durandex/TESTHOST";
        const std::string task_dir = target_dir + "/77-1.dir";
        Task* task = drives.add_task('C', 'D');
        task->state = TaskState::Cleanup;
        task->file_count = row.files;
        task->error_count = row.errors;
        task->compare_count = row.compared;
        task->copy_count = row.copied;
        strcpy(task->task_dir, "D:\\durandex\\TESTHOST\\77-1.dir");
        strcpy(task->log_path, "D:\\durandex\\TESTHOST\\log1.77");
        strcpy(task->time_path, "D:\\durandex\\TESTHOST\\tim177");
        std::filesystem::create_directories(task_dir);
        for (const std::string& name : logs) {
            write_native_file(target_dir + "/" + name, "kept?");
        }
        for (const std::string& name : row.copies) {
            write_native_file(task_dir + "/" + name, "copy");
        }
        if (row.errors > 0) {
            ASSERT_TRUE(SetFileAttributesA("D:\\durandex\\TESTHOST\\77-1.dir\\2.1", FILE_ATTRIBUTE_READONLY));
        }
        EXPECT_EQ(cleanup_task(task), row.left.empty()) << row.what;
        EXPECT_EQ(list_native_directory(task_dir), row.left) << row.what;
        Names target_left = row.left.empty() ? Names{} : Names{"77-1.dir"};
        if (row.errors > 0) {
            target_left.insert(target_left.end(), logs.begin(), logs.end());
        }
        EXPECT_EQ(list_native_directory(target_dir), target_left) << row.what;
    }
}

}  // namespace
