#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/cleanup.h"
#include "temp_drives.h"

namespace {

using Names = std::vector<std::string>;

struct CleanupTest : ::testing::Test {
    void SetUp() override
    {
        drives.add_drive('C');
        target_dir = drives.add_drive('D') + "/durandex/TESTHOST";
        task_dir = target_dir + "/77-1.dir";
        task = drives.add_task('C', 'D');
        task->state = TaskState::Cleanup;
        task->file_count = 3;
        snprintf(task->task_dir, sizeof task->task_dir, "D:\\durandex\\TESTHOST\\77-1.dir");
        snprintf(task->log_path, sizeof task->log_path, "D:\\durandex\\TESTHOST\\log1.77");
        snprintf(task->time_path, sizeof task->time_path, "D:\\durandex\\TESTHOST\\tim177");
        std::filesystem::create_directories(task_dir);
        for (const char* name : {"log1.77", "tim177.one", "tim177.two"}) {
            write_native_file(target_dir + "/" + name, "kept?");
        }
    }

    // Copies named `names` for iterations compare_count..copy_count.
    void make_copies(DWORD compared, DWORD copied, const Names& names)
    {
        task->compare_count = compared;
        task->copy_count = copied;
        for (const std::string& name : names) {
            write_native_file(task_dir + "/" + name, "copy");
        }
    }

    TempDrives drives;
    Task* task = nullptr;
    std::string target_dir;
    std::string task_dir;
};

TEST_F(CleanupTest, ACleanTaskLeavesNothingOfItsOwn)
{
    make_copies(4, 5, {"4.0", "4.1", "4.2", "5.0", "5.1"});
    EXPECT_TRUE(cleanup_task(task));
    EXPECT_FALSE(std::filesystem::exists(task_dir));
    EXPECT_TRUE(list_native_directory(target_dir).empty());
}

TEST_F(CleanupTest, OnlyCopiesOfTheUncomparedIterationsAreDeleted)
{
    // 3.x lies before the range, 7.0 after it, 4.3 beyond the task's files,
    // and notes.txt is no name of the task at all.
    make_copies(4, 6, {"3.0", "4.0", "4.1", "4.2", "4.3", "5.0", "5.2", "6.1", "7.0", "notes.txt"});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((Names{"3.0", "4.3", "7.0", "notes.txt"}), list_native_directory(task_dir));

    // A compare side ahead of the copy side leaves nothing to delete.
    make_copies(8, 7, {});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ(4u, list_native_directory(task_dir).size());
}

TEST_F(CleanupTest, ATaskWithErrorsKeepsItsLogsAndItsBadCopies)
{
    task->error_count = 2;
    make_copies(2, 3, {"2.0", "2.1", "3.0"});
    ASSERT_TRUE(SetFileAttributesA("D:\\durandex\\TESTHOST\\77-1.dir\\2.1", FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((Names{"2.1"}), list_native_directory(task_dir));
    EXPECT_EQ((Names{"77-1.dir", "log1.77", "tim177.one", "tim177.two"}), list_native_directory(target_dir));
}

TEST_F(CleanupTest, CdRomTasksDeleteOneTrgCopyPerIteration)
{
    drives.drive('C')->drive_type = DRIVE_CDROM;
    make_copies(8, 9, {"7.trg", "8.trg", "9.trg", "8.0", "10.trg"});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((Names{"10.trg", "7.trg", "8.0"}), list_native_directory(task_dir));
}

TEST_F(CleanupTest, IterationNumbersWrapInNamesAndAtTheTopOfTheCounter)
{
    task->file_count = 1;
    make_copies(99999999, 100000001, {"99999999.0", "0.0", "1.0", "2.0"});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((Names{"2.0"}), list_native_directory(task_dir));

    // The last count a 32-bit counter holds still ends the walk.
    make_copies(0xFFFFFFFE, 0xFFFFFFFF, {"94967294.0", "94967295.0"});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((Names{"2.0"}), list_native_directory(task_dir));
}

}  // namespace
