#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <filesystem>
#include <mutex>

#include "engine/prepare.h"
#include "records/run_settings.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"
#include "temp_drives.h"

namespace {

const std::string stamp = "3/7/2024, 9:05 ";

struct PrepareTest : ::testing::Test {
    void SetUp() override
    {
        system_fix_process_id(123);
        const SYSTEMTIME fixed_time = {2024, 3, 4, 7, 9, 5, 0, 0};
        clock_fix_local_time(&fixed_time);
        set_message_box_observer([this](HWND, const char* text, const char* caption, UINT) {
            std::lock_guard<std::mutex> lock(boxes_mutex);
            boxes += std::string(caption) + ": " + text;
        });
    }

    void TearDown() override
    {
        EXPECT_TRUE(drives.stop_workers());
        fault_reset();
        set_message_box_observer({});
        clock_fix_local_time(nullptr);
        system_fix_process_id(0);
    }

    Task* task_between(char source, char target, UINT source_type = DRIVE_FIXED)
    {
        drives.add_drive(source, source_type);
        drives.add_drive(target);
        return drives.add_task(source, target);
    }
    std::string log_of(const Task* task) { return read_native_file(drives.native(task->log_path)); }
    std::string source(char letter, int index)
    {
        return drives.directory(letter) + "/durandex/TESTHOST/SRC." + std::to_string(index);
    }

    TempDrives drives;
    std::mutex boxes_mutex;
    std::string boxes;
};

// The list runs from the newest task, which is prepared first: tasks on one
// target get their own sequence numbers. A source file of the right size is
// reused untouched; SRC.3, too long, is written afresh and cut to size.
TEST_F(PrepareTest, PreparesNamesLogAndSourceFilesThenStartsTheWorkers)
{
    Task* task = task_between('C', 'D');
    drives.add_drive('E');
    Task* newer = drives.add_task('E', 'D');
    strcpy(drives.drive('C')->volume_name, "SRCVOL");
    strcpy(drives.drive('C')->fs_name, "EXT4");
    strcpy(drives.drive('D')->fs_name, "XFS");
    std::filesystem::create_directories(drives.directory('C') + "/durandex/TESTHOST");
    write_native_file(source('C', 3), std::string(5000, '#'));
    write_native_file(source('C', 4), std::string(run_settings.source_file_sizes[4], '#'));
    const utimbuf old_times = {1000000000, 1000000000};
    ASSERT_EQ(utime(source('C', 4).c_str(), &old_times), 0);
    EXPECT_EQ(prepare_tasks(nullptr), 0u);
    EXPECT_STREQ(newer->task_dir, "D:\\durandex\\TESTHOST\\123-1.dir");
    EXPECT_STREQ(task->task_dir, "D:\\durandex\\TESTHOST\\123-2.dir");
    EXPECT_STREQ(task->time_path, "D:\\durandex\\TESTHOST\\tim2123");
    EXPECT_EQ(drives.native(task->log_path), drives.directory('D') + "/durandex/TESTHOST/log2.123");
    EXPECT_TRUE(native_exists(drives.native(task->task_dir)));
    EXPECT_EQ(drives.drive('D')->target_task_count.load(), 2);
    EXPECT_EQ(task->source_bytes.load(), 5907712u);
    EXPECT_EQ(newer->state.load(), TaskState::Working);
    EXPECT_EQ(read_native_file(source('C', 3)).substr(4096), "00001000->ABC");
    struct stat status {};
    ASSERT_EQ(stat(source('C', 4).c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1000000000);
    std::string expected = stamp + "\n\n\tDurandex Log File\n\n" +
                           "Source Directory: C:\\durandex\\TESTHOST, Vol: SRCVOL, FS: EXT4\n" +
                           "Target Directory: D:\\durandex\\TESTHOST\\123-2.dir, Vol: , FS: XFS\n" +
                           "Using files up to index 10 [Max = 10]\n";
    for (int index : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
        expected += stamp + "Created source file C:\\durandex\\TESTHOST\\SRC." + std::to_string(index) + "\n";
    }
    expected += stamp + "Created copy thread ID: " + std::to_string(task->copy_thread_id.load()) + "\n" + stamp +
                "Created compare thread ID: " + std::to_string(task->compare_thread_id.load()) + "\n";
    EXPECT_EQ(log_of(task), expected);
}

// A failed step sends its task to Cleanup but preparation goes on, through a
// file in the way of the source directories (reported in a box: the log has
// no name yet), workers that cannot be started, a CD-ROM source (nothing is
// written to it and its copy worker cannot run yet) and a task already in
// Cleanup, which gets nothing written either.
TEST_F(PrepareTest, FailedStepsSendTheirTaskToCleanupButPreparationGoesOn)
{
    Task* in_the_way = task_between('C', 'D');
    write_native_file(drives.directory('C') + "/durandex", "in the way");
    Task* cd_rom = task_between('E', 'F', DRIVE_CDROM);
    Task* stopped = task_between('G', 'H');
    stopped->state = TaskState::Cleanup;
    Task* no_threads = task_between('I', 'J');
    fault_arm("CreateThread", 2, ERROR_NOT_ENOUGH_MEMORY);
    prepare_tasks(nullptr);
    for (Task* task : {in_the_way, cd_rom, stopped, no_threads}) {
        EXPECT_EQ(task->state.load(), TaskState::Cleanup);
        EXPECT_TRUE(wait_until([task] { return task->copy_thread_id == 0 && task->compare_thread_id == 0; }));
    }
    EXPECT_EQ(in_the_way->error_count.load(), 12u) << "two directories and ten source files";
    EXPECT_NE(log_of(in_the_way).find("ERROR 3 in creating source file.\n"), std::string::npos);
    EXPECT_EQ(read_native_file(drives.directory('C') + "/durandex"), "in the way");
    EXPECT_TRUE(list_native_directory(drives.directory('E')).empty());
    EXPECT_EQ(read_native_file(source('G', 0)), "");
    // The compare worker cleaned up: the empty task directory went, the log of a task with errors stays.
    EXPECT_FALSE(native_exists(drives.directory('F') + "/durandex/TESTHOST/123-1.dir"));
    EXPECT_NE(log_of(cd_rom).find("ERROR 50 in spawning copy thread.\n"), std::string::npos);
    EXPECT_NE(log_of(cd_rom).find("Created copy thread ID: 0\n"), std::string::npos);
    EXPECT_EQ(no_threads->error_count.load(), 2u);
    EXPECT_NE(log_of(no_threads).find("ERROR 8 in spawning compare thread.\n"), std::string::npos);
    std::lock_guard<std::mutex> lock(boxes_mutex);
    EXPECT_NE(boxes.find("Durandex Error: ERROR 183 in creating source durandex directory.\n   File already exists.\n"),
              std::string::npos);
}

// Small tmpfs drives: a target with room for nine sets, one drive as both
// source and target, two drives of the same room, and a full source on which
// not one file fits (no source file is opened then).
TEST_F(PrepareTest, FileCountFollowsTheFreeSpaceOfSmallDrives)
{
    std::string why, full;
    constexpr ULONGLONG mebibyte = 1 << 20;
    if (drives.add_tmpfs_drive('D', 8 * mebibyte, &why).empty() ||
        drives.add_tmpfs_drive('E', 20 * mebibyte, &why).empty() ||
        drives.add_tmpfs_drive('F', 20 * mebibyte, &why).empty() ||
        drives.add_tmpfs_drive('G', 20 * mebibyte, &why).empty() ||
        (full = drives.add_tmpfs_drive('H', 65536, &why)).empty()) {
        GTEST_SKIP() << why;
    }
    write_native_file(full + "/filler", std::string(65536, 'f'));
    drives.add_drive('C');
    Task* small_target = drives.add_task('C', 'D');
    Task* one_drive = drives.add_task('E', 'E');
    Task* two_drives = drives.add_task('F', 'G');
    Task* none_fits = drives.add_task('H', 'C');
    prepare_tasks(nullptr);
    EXPECT_NE(log_of(small_target).find("Using files up to index 9 [Max = 10]\n"), std::string::npos);
    EXPECT_TRUE(native_exists(source('C', 8)));
    EXPECT_FALSE(native_exists(source('C', 9)));
    EXPECT_EQ(one_drive->file_count.load(), 9);
    EXPECT_EQ(two_drives->file_count.load(), 10);
    EXPECT_EQ(none_fits->state.load(), TaskState::Cleanup);
    EXPECT_NE(log_of(none_fits).find("in insufficient disk space.\n<Ignore Error Code>\n"), std::string::npos);
    EXPECT_NE(log_of(none_fits).find("Using files up to index 0 [Max = 10]\n"), std::string::npos);
    EXPECT_TRUE(list_native_directory(full + "/durandex/TESTHOST").empty());
    std::lock_guard<std::mutex> lock(boxes_mutex);
    EXPECT_EQ(boxes.rfind("Durandex Error: ", 0), 0u);
    EXPECT_EQ(count_of(boxes, "Durandex Error: "), 1u);
}

}  // namespace
