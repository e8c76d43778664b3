#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/prepare.h"
#include "engine/run_settings.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"
#include "temp_drives.h"

namespace {

constexpr DWORD all_ten_bytes = 5907712;
constexpr DWORD first_nine_bytes = all_ten_bytes - 4194317;
constexpr ULONGLONG plenty = 1ull << 40;

BYTE fit(ULONGLONG source_room, ULONGLONG target_room, BOOL same_drive, BOOL cd_source = FALSE)
{
    DWORD bytes = 0;
    return fit_source_files(10, source_room, target_room, same_drive, cd_source, &bytes);
}

TEST(DiskSpaceFit, OnceOnTheSourceThreeTimesOnTheTarget)
{
    DWORD bytes = 0;
    EXPECT_EQ(10, fit_source_files(10, plenty, 3ull * all_ten_bytes, FALSE, FALSE, &bytes));
    EXPECT_EQ(all_ten_bytes, bytes);
    EXPECT_EQ(9, fit_source_files(10, plenty, 3ull * all_ten_bytes - 1, FALSE, FALSE, &bytes));
    EXPECT_EQ(first_nine_bytes, bytes);
    EXPECT_EQ(9, fit(all_ten_bytes - 1, plenty, FALSE));
    EXPECT_EQ(10, fit(0, plenty, FALSE, TRUE)) << "a CD-ROM source needs no room";
    EXPECT_EQ(0, fit(plenty, 3 * 243 - 1, FALSE));
    EXPECT_EQ(0, fit(242, plenty, FALSE));
}

TEST(DiskSpaceFit, OneDriveHoldsFewerFilesThanTwoOfTheSameRoom)
{
    ULONGLONG room = 4ull * all_ten_bytes - 1;
    EXPECT_EQ(10, fit(room, room, FALSE));
    EXPECT_EQ(9, fit(room, room, TRUE));
    EXPECT_EQ(10, fit(room + 1, room + 1, TRUE));
    // Room measured twice on one drive, shrunk in between: no wrap to "huge".
    EXPECT_EQ(0, fit(plenty, 100, TRUE));
    EXPECT_EQ(10, fit((1ull << 32) + 1000, (1ull << 32) + 1000, TRUE)) << "room beyond 32 bits";
}

const SYSTEMTIME fixed_time = {2024, 3, 4, 7, 9, 5, 0, 0};
const std::string stamp = "3/7/2024, 9:05 ";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class PrepareTest : public ::testing::Test {
protected:
    TempDrives drives;
    std::vector<std::string> boxes;

    void SetUp() override
    {
        system_fix_process_id(123);
        clock_fix_local_time(&fixed_time);
        set_message_box_observer([this](HWND, const char* text, const char* caption, UINT) {
            boxes.push_back(std::string(caption) + ": " + text);
        });
    }

    void TearDown() override
    {
        EXPECT_TRUE(drives.stop_workers());
        fault_reset();
        set_message_box_observer({});
        clock_fix_local_time(nullptr);
        system_fix_process_id(0);
        unsetenv("DURANDEX_DEBUG_OUTPUT");
    }

    Task* task_between(char source, char target, UINT source_type = DRIVE_FIXED)
    {
        drives.add_drive(source, source_type);
        drives.add_drive(target);
        return drives.add_task(source, target);
    }

    std::string log_of(const Task* task) { return read_native_file(drives.native(task->log_path)); }
    std::string source_dir(char letter) { return drives.directory(letter) + "/durandex/TESTHOST"; }

    static bool workers_ended(const Task* task)
    {
        return wait_until([task] { return task->copy_thread_id == 0 && task->compare_thread_id == 0; },
                          std::chrono::seconds(30));
    }
};

TEST_F(PrepareTest, PreparesNamesLogAndSourceFilesThenStartsTheWorkers)
{
    Task* task = task_between('C', 'D');
    strcpy(drives.drive('C')->volume_name, "SRCVOL");
    strcpy(drives.drive('C')->fs_name, "EXT4");
    strcpy(drives.drive('D')->fs_name, "XFS");
    std::string debug_file = drives.directory('D') + "/debug.txt";
    setenv("DURANDEX_DEBUG_OUTPUT", debug_file.c_str(), 1);

    EXPECT_EQ(0u, prepare_tasks(nullptr));

    EXPECT_STREQ("D:\\durandex\\TESTHOST\\123-1.dir", task->task_dir);
    EXPECT_STREQ("D:\\durandex\\TESTHOST\\tim1123", task->time_path);
    EXPECT_TRUE(native_exists(drives.directory('D') + "/durandex/TESTHOST/123-1.dir"));
    EXPECT_EQ(1, drives.drive('D')->target_task_count.load());
    EXPECT_EQ(all_ten_bytes, task->source_bytes.load());
    EXPECT_EQ(Working, task->state.load());
    EXPECT_EQ(0u, task->error_count.load());
    for (int index = 0; index < 10; ++index) {
        std::string content = read_native_file(source_dir('C') + "/SRC." + std::to_string(index));
        EXPECT_EQ(run_settings.source_file_sizes[index], content.size()) << index;
    }

    std::string expected = stamp + "\n\n\tDurandex Log File\n\n" +
                           "Source Directory: C:\\durandex\\TESTHOST, Vol: SRCVOL, FS: EXT4\n" +
                           "Target Directory: D:\\durandex\\TESTHOST\\123-1.dir, Vol: , FS: XFS\n" +
                           "Using files up to index 10 [Max = 10]\n";
    for (int index = 0; index < 10; ++index) {
        expected += stamp + "Created source file C:\\durandex\\TESTHOST\\SRC." + std::to_string(index) + "\n";
    }
    expected += stamp + "Created copy thread ID: " + std::to_string(task->copy_thread_id.load()) + "\n";
    expected += stamp + "Created compare thread ID: " + std::to_string(task->compare_thread_id.load()) + "\n";
    EXPECT_EQ(expected, log_of(task));
    EXPECT_EQ("DurandexInitialize\n", read_native_file(debug_file).substr(0, 19));
}

TEST_F(PrepareTest, TasksOnOneTargetGetTheirOwnSequenceNumbers)
{
    Task* older = task_between('C', 'E');
    drives.add_drive('D');
    Task* newer = drives.add_task('D', 'E');

    prepare_tasks(nullptr);

    // The list runs from the newest task, which is prepared first.
    EXPECT_STREQ("E:\\durandex\\TESTHOST\\123-1.dir", newer->task_dir);
    EXPECT_STREQ("E:\\durandex\\TESTHOST\\123-2.dir", older->task_dir);
    EXPECT_STREQ("E:\\durandex\\TESTHOST\\log2.123", older->log_path);
    EXPECT_EQ(2, drives.drive('E')->target_task_count.load());
    EXPECT_EQ(Working, older->state.load());
}

TEST_F(PrepareTest, SourceFilesOfTheRightSizeAreReusedUntouched)
{
    Task* task = task_between('C', 'D');
    std::filesystem::create_directories(source_dir('C'));
    std::vector<ino_t> inodes;
    for (int index = 0; index < 10; ++index) {
        std::string path = source_dir('C') + "/SRC." + std::to_string(index);
        write_native_file(path, std::string(index == 3 ? 10 : run_settings.source_file_sizes[index], '#'));
        utimbuf old_times = {1000000000, 1000000000};
        struct stat status {};
        ASSERT_EQ(0, utime(path.c_str(), &old_times));
        ASSERT_EQ(0, stat(path.c_str(), &status));
        inodes.push_back(status.st_ino);
    }

    prepare_tasks(nullptr);

    for (int index = 0; index < 10; ++index) {
        std::string path = source_dir('C') + "/SRC." + std::to_string(index);
        std::string content = read_native_file(path);
        struct stat status {};
        ASSERT_EQ(0, stat(path.c_str(), &status));
        EXPECT_EQ(inodes[index], status.st_ino);
        EXPECT_EQ(index == 3, status.st_mtime != 1000000000) << index;
        EXPECT_EQ(index == 3, content.find('#') == std::string::npos) << index;
    }
    std::string log = log_of(task);
    EXPECT_TRUE(contains(log, "Created source file C:\\durandex\\TESTHOST\\SRC.3\n"));
    EXPECT_EQ(log.find("Created source file"), log.rfind("Created source file"));
}

TEST_F(PrepareTest, ATaskAlreadyInCleanupStaysThereAndItsWorkersEnd)
{
    Task* task = task_between('C', 'D');
    task->state = Cleanup;
    prepare_tasks(nullptr);
    EXPECT_TRUE(workers_ended(task));
    EXPECT_EQ(Cleanup, task->state.load());
}

TEST_F(PrepareTest, AFailedStepSendsTheTaskToCleanupButPreparationGoesOn)
{
    Task* task = task_between('C', 'D');
    write_native_file(drives.directory('C') + "/durandex", "in the way");

    prepare_tasks(nullptr);

    EXPECT_EQ(Cleanup, task->state.load());
    // The log has no name yet when the source directories are made.
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ("Durandex Error: ERROR 183 in creating source durandex directory.\n   File already exists.\n",
              boxes[0]);
    std::string log = log_of(task);
    EXPECT_TRUE(contains(log, "ERROR 3 in creating source file.\n"));
    EXPECT_TRUE(contains(log, "Created compare thread ID: "));
    EXPECT_EQ(12u, task->error_count.load()) << "two directories and ten source files";
    EXPECT_EQ("in the way", read_native_file(drives.directory('C') + "/durandex"));
    EXPECT_TRUE(workers_ended(task));
}

TEST_F(PrepareTest, ACdRomSourceGetsNothingWrittenAndCannotRunYet)
{
    Task* task = task_between('E', 'D', DRIVE_CDROM);

    prepare_tasks(nullptr);

    EXPECT_TRUE(list_native_directory(drives.directory('E')).empty());
    EXPECT_TRUE(native_exists(drives.directory('D') + "/durandex/TESTHOST/123-1.dir"));
    EXPECT_EQ(Cleanup, task->state.load());
    std::string log = log_of(task);
    EXPECT_TRUE(contains(log, "Using files up to index 10 [Max = 10]\n"));
    EXPECT_TRUE(contains(log, "ERROR 50 in spawning copy thread.\n"));
    EXPECT_TRUE(contains(log, "Created copy thread ID: 0\n"));
    EXPECT_TRUE(workers_ended(task));
}

TEST_F(PrepareTest, WorkersThatCannotBeStartedAreFatalReportsAndLeaveNoIds)
{
    Task* task = task_between('C', 'D');
    fault_arm("CreateThread", 2, ERROR_NOT_ENOUGH_MEMORY);

    prepare_tasks(nullptr);

    EXPECT_EQ(Cleanup, task->state.load());
    EXPECT_EQ(2u, task->error_count.load());
    std::string log = log_of(task);
    EXPECT_TRUE(contains(log, "ERROR 8 in spawning copy thread.\n"));
    EXPECT_TRUE(contains(log, "ERROR 8 in spawning compare thread.\n"));
    EXPECT_TRUE(contains(log, "Created compare thread ID: 0\n"));
    EXPECT_EQ(0u, task->copy_thread_id.load());
    EXPECT_EQ(0u, task->compare_thread_id.load());
}

TEST_F(PrepareTest, FileCountFollowsTheFreeSpaceOfSmallDrives)
{
    std::string why;
    constexpr ULONGLONG mebibyte = 1 << 20;
    if (drives.add_tmpfs_drive('D', 8 * mebibyte, &why).empty() ||
        drives.add_tmpfs_drive('E', 20 * mebibyte, &why).empty() ||
        drives.add_tmpfs_drive('F', 20 * mebibyte, &why).empty() ||
        drives.add_tmpfs_drive('G', 20 * mebibyte, &why).empty()) {
        GTEST_SKIP() << why;
    }
    drives.add_drive('C');
    Task* small_target = drives.add_task('C', 'D');
    Task* one_drive = drives.add_task('E', 'E');
    Task* two_drives = drives.add_task('F', 'G');

    prepare_tasks(nullptr);

    EXPECT_EQ(9, small_target->file_count.load());
    EXPECT_TRUE(contains(log_of(small_target), "Using files up to index 9 [Max = 10]\n"));
    EXPECT_TRUE(native_exists(source_dir('C') + "/SRC.8"));
    EXPECT_FALSE(native_exists(source_dir('C') + "/SRC.9"));
    EXPECT_EQ(9, one_drive->file_count.load());
    EXPECT_EQ(10, two_drives->file_count.load());
}

TEST_F(PrepareTest, WhenNotOneFileFitsNoSourceFileIsOpened)
{
    std::string why;
    std::string source = drives.add_tmpfs_drive('C', 65536, &why);
    if (source.empty()) {
        GTEST_SKIP() << why;
    }
    write_native_file(source + "/filler", std::string(65536, 'f'));
    drives.add_drive('D');
    Task* task = drives.add_task('C', 'D');

    prepare_tasks(nullptr);

    EXPECT_EQ(0, task->file_count.load());
    EXPECT_EQ(Cleanup, task->state.load());
    std::string log = log_of(task);
    EXPECT_TRUE(contains(log, "in insufficient disk space.\n<Ignore Error Code>\n"));
    EXPECT_TRUE(contains(log, "Using files up to index 0 [Max = 10]\n"));
    EXPECT_TRUE(list_native_directory(source_dir('C')).empty());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].find("Durandex Error: "));
}

}  // namespace
