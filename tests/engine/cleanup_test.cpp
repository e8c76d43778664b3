#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/cleanup.h"
#include "temp_drives.h"

namespace {

class CleanupTest : public ::testing::Test {
protected:
    TempDrives drives;
    Task* task = nullptr;
    std::string target_dir;
    std::string task_dir;

    void SetUp() override
    {
        drives.add_drive('C');
        drives.add_drive('D');
        task = drives.add_task('C', 'D');
        task->state = Cleanup;
        task->file_count = 3;
        snprintf(task->task_dir, sizeof task->task_dir, "D:\\durandex\\TESTHOST\\77-1.dir");
        snprintf(task->log_path, sizeof task->log_path, "D:\\durandex\\TESTHOST\\log1.77");
        snprintf(task->time_path, sizeof task->time_path, "D:\\durandex\\TESTHOST\\tim177");
        target_dir = drives.directory('D') + "/durandex/TESTHOST";
        task_dir = target_dir + "/77-1.dir";
        std::filesystem::create_directories(task_dir);
        for (const char* name : {"log1.77", "tim177.one", "tim177.two"}) {
            write_native_file(target_dir + "/" + name, "kept?");
        }
    }

    void make_copies(const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            write_native_file(task_dir + "/" + name, "copy");
        }
    }

    std::vector<std::string> left_in_task_dir() { return list_native_directory(task_dir); }
    std::vector<std::string> left_beside() { return list_native_directory(target_dir); }
};

TEST_F(CleanupTest, ACleanTaskLeavesNothingOfItsOwn)
{
    task->compare_count = 4;
    task->copy_count = 5;
    make_copies({"4.0", "4.1", "4.2", "5.0", "5.1"});

    EXPECT_TRUE(cleanup_task(task));

    EXPECT_FALSE(native_exists(task_dir));
    EXPECT_TRUE(left_beside().empty());
}

TEST_F(CleanupTest, OnlyCopiesOfTheUncomparedIterationsAreDeleted)
{
    task->compare_count = 4;
    task->copy_count = 6;
    // 3.x lies before the range, 7.0 after it, 4.3 beyond the task's files,
    // and notes.txt is no name of the task at all.
    make_copies({"3.0", "4.0", "4.1", "4.2", "4.3", "5.0", "5.2", "6.1", "7.0", "notes.txt"});

    EXPECT_FALSE(cleanup_task(task));

    EXPECT_EQ((std::vector<std::string>{"3.0", "4.3", "7.0", "notes.txt"}), left_in_task_dir());

    // A compare side ahead of the copy side leaves nothing to delete.
    task->compare_count = 8;
    task->copy_count = 7;
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ(4u, left_in_task_dir().size());
}

TEST_F(CleanupTest, ATaskWithErrorsKeepsItsLogsAndItsBadCopies)
{
    task->compare_count = 2;
    task->copy_count = 3;
    task->error_count = 2;
    make_copies({"2.0", "2.1", "3.0"});
    ASSERT_TRUE(SetFileAttributesA("D:\\durandex\\TESTHOST\\77-1.dir\\2.1", FILE_ATTRIBUTE_READONLY));

    EXPECT_FALSE(cleanup_task(task));

    EXPECT_EQ((std::vector<std::string>{"2.1"}), left_in_task_dir());
    EXPECT_EQ((std::vector<std::string>{"77-1.dir", "log1.77", "tim177.one", "tim177.two"}), left_beside());
}

TEST_F(CleanupTest, CdRomTasksDeleteOneTrgCopyPerIteration)
{
    drives.drive('C')->drive_type = DRIVE_CDROM;
    task->compare_count = 8;
    task->copy_count = 9;
    make_copies({"7.trg", "8.trg", "9.trg", "8.0", "10.trg"});

    EXPECT_FALSE(cleanup_task(task));

    EXPECT_EQ((std::vector<std::string>{"10.trg", "7.trg", "8.0"}), left_in_task_dir());
}

TEST_F(CleanupTest, IterationNumbersWrapInNamesAndAtTheTopOfTheCounter)
{
    task->file_count = 1;
    task->compare_count = 99999999;
    task->copy_count = 100000001;
    make_copies({"99999999.0", "0.0", "1.0", "2.0"});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((std::vector<std::string>{"2.0"}), left_in_task_dir());

    // The last count a 32-bit counter holds still ends the walk.
    task->compare_count = 0xFFFFFFFE;
    task->copy_count = 0xFFFFFFFF;
    make_copies({"94967294.0", "94967295.0"});
    EXPECT_FALSE(cleanup_task(task));
    EXPECT_EQ((std::vector<std::string>{"2.0"}), left_in_task_dir());
}

}  // namespace
