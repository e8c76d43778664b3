#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/prepare.h"
#include "records/run_settings.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"
#include "temp_drives.h"

namespace {

constexpr DWORD all_ten_bytes = 5907712;
constexpr DWORD first_nine_bytes = all_ten_bytes - 4194317;
constexpr ULONGLONG plenty = 1ull << 40;

// Every file fits once on the source and three times on the target; one drive
// holding both is measured once for both.
TEST(DiskSpaceFit, FilesFitOnceOnTheSourceAndThreeTimesOnTheTarget)
{
    const ULONGLONG room = 4ull * all_ten_bytes - 1;
    const ULONGLONG beyond_32_bits = (1ull << 32) + 1000;
    const struct { ULONGLONG source_room, target_room; BOOL same_drive, cd_source; BYTE files; } cases[] = {
        {plenty, 3ull * all_ten_bytes, FALSE, FALSE, 10},
        {plenty, 3ull * all_ten_bytes - 1, FALSE, FALSE, 9},
        {all_ten_bytes - 1, plenty, FALSE, FALSE, 9},
        {0, plenty, FALSE, TRUE, 10},  // a CD-ROM source needs no room
        {plenty, 3 * 243 - 1, FALSE, FALSE, 0},
        {242, plenty, FALSE, FALSE, 0},
        {room, room, FALSE, FALSE, 10},
        {room, room, TRUE, FALSE, 9},
        {room + 1, room + 1, TRUE, FALSE, 10},
        {plenty, 100, TRUE, FALSE, 0},  // room shrunk between two measures: no wrap to "huge"
        {beyond_32_bits, beyond_32_bits, TRUE, FALSE, 10},
    };
    for (const auto& fit : cases) {
        DWORD bytes = 0;
        EXPECT_EQ(fit.files, fit_source_files(10, fit.source_room, fit.target_room, fit.same_drive, fit.cd_source,
                                              &bytes))
            << fit.source_room << " " << fit.target_room << " " << fit.same_drive;
        if (fit.files > 0) {
            EXPECT_EQ(fit.files == 10 ? all_ten_bytes : first_nine_bytes, bytes) << (int)fit.files;
        }
    }
}

const SYSTEMTIME fixed_time = {2024, 3, 4, 7, 9, 5, 0, 0};
const std::string stamp = "3/7/2024, 9:05 ";

struct PrepareTest : ::testing::Test {
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
    void expect_in_log(const Task* task, std::initializer_list<std::string> lines)
    {
        std::string log = log_of(task);
        for (const std::string& line : lines) {
            EXPECT_NE(std::string::npos, log.find(line)) << line;
        }
    }
    std::string source_dir(char letter) { return drives.directory(letter) + "/durandex/TESTHOST"; }

    static bool workers_ended(const Task* task)
    {
        return wait_until([task] { return task->copy_thread_id == 0 && task->compare_thread_id == 0; },
                          std::chrono::seconds(30));
    }

    TempDrives drives;
    std::vector<std::string> boxes;
};

// The list runs from the newest task, which is prepared first: tasks on one
// target get their own sequence numbers.
TEST_F(PrepareTest, PreparesNamesLogAndSourceFilesThenStartsTheWorkers)
{
    Task* task = task_between('C', 'D');
    drives.add_drive('E');
    Task* newer = drives.add_task('E', 'D');
    strcpy(drives.drive('C')->volume_name, "SRCVOL");
    strcpy(drives.drive('C')->fs_name, "EXT4");
    strcpy(drives.drive('D')->fs_name, "XFS");
    std::string debug_file = drives.directory('D') + "/debug.txt";
    setenv("DURANDEX_DEBUG_OUTPUT", debug_file.c_str(), 1);
    EXPECT_EQ(0u, prepare_tasks(nullptr));
    EXPECT_STREQ("D:\\durandex\\TESTHOST\\123-1.dir", newer->task_dir);
    EXPECT_STREQ("D:\\durandex\\TESTHOST\\123-2.dir", task->task_dir);
    EXPECT_STREQ("D:\\durandex\\TESTHOST\\log2.123", task->log_path);
    EXPECT_STREQ("D:\\durandex\\TESTHOST\\tim2123", task->time_path);
    EXPECT_TRUE(std::filesystem::exists(drives.directory('D') + "/durandex/TESTHOST/123-2.dir"));
    EXPECT_EQ(2, drives.drive('D')->target_task_count.load());
    EXPECT_EQ(all_ten_bytes, task->source_bytes.load());
    EXPECT_EQ(TaskState::Working, task->state.load());
    EXPECT_EQ(TaskState::Working, newer->state.load());
    EXPECT_EQ(0u, task->error_count.load());
    for (int index = 0; index < 10; ++index) {
        std::string content = read_native_file(source_dir('C') + "/SRC." + std::to_string(index));
        EXPECT_EQ(run_settings.source_file_sizes[index], content.size()) << index;
    }
    std::string expected = stamp + "\n\n\tDurandex Log File\n\n" +
                           "Source Directory: C:\\durandex\\TESTHOST, Vol: SRCVOL, FS: EXT4\n" +
                           "Target Directory: D:\\durandex\\TESTHOST\\123-2.dir, Vol: , FS: XFS\n" +
                           "Using files up to index 10 [Max = 10]\n";
    for (int index = 0; index < 10; ++index) {
        expected += stamp + "Created source file C:\\durandex\\TESTHOST\\SRC." + std::to_string(index) + "\n";
    }
    expected += stamp + "Created copy thread ID: " + std::to_string(task->copy_thread_id.load()) + "\n";
    expected += stamp + "Created compare thread ID: " + std::to_string(task->compare_thread_id.load()) + "\n";
    EXPECT_EQ(expected, log_of(task));
    EXPECT_EQ("DurandexInitialize\n", read_native_file(debug_file).substr(0, 19));
}

TEST_F(PrepareTest, SourceFilesOfTheRightSizeAreReusedUntouched)
{
    Task* task = task_between('C', 'D');
    std::filesystem::create_directories(source_dir('C'));
    auto status_of = [&](int index) {
        struct stat status {};
        EXPECT_EQ(0, stat((source_dir('C') + "/SRC." + std::to_string(index)).c_str(), &status));
        return status;
    };
    std::vector<ino_t> inodes;
    for (int index = 0; index < 10; ++index) {
        std::string path = source_dir('C') + "/SRC." + std::to_string(index);
        write_native_file(path, std::string(index == 3 ? 10 : run_settings.source_file_sizes[index], '#'));
        utimbuf old_times = {1000000000, 1000000000};
        ASSERT_EQ(0, utime(path.c_str(), &old_times));
        inodes.push_back(status_of(index).st_ino);
    }

    prepare_tasks(nullptr);
    for (int index = 0; index < 10; ++index) {
        std::string content = read_native_file(source_dir('C') + "/SRC." + std::to_string(index));
        EXPECT_EQ(inodes[index], status_of(index).st_ino);
        EXPECT_EQ(index == 3, status_of(index).st_mtime != 1000000000) << index;
        EXPECT_EQ(index == 3, content.find('#') == std::string::npos) << index;
    }
    std::string log = log_of(task);
    EXPECT_NE(std::string::npos, log.find("Created source file C:\\durandex\\TESTHOST\\SRC.3\n"));
    EXPECT_EQ(log.find("Created source file"), log.rfind("Created source file"));
}

TEST_F(PrepareTest, AFailedStepSendsTheTaskToCleanupButPreparationGoesOn)
{
    Task* task = task_between('C', 'D');
    write_native_file(drives.directory('C') + "/durandex", "in the way");
    prepare_tasks(nullptr);
    EXPECT_EQ(TaskState::Cleanup, task->state.load());
    // The log has no name yet when the source directories are made.
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ("Durandex Error: ERROR 183 in creating source durandex directory.\n   File already exists.\n",
              boxes[0]);
    expect_in_log(task, {"ERROR 3 in creating source file.\n", "Created compare thread ID: "});
    EXPECT_EQ(12u, task->error_count.load()) << "two directories and ten source files";
    EXPECT_EQ("in the way", read_native_file(drives.directory('C') + "/durandex"));
    EXPECT_TRUE(workers_ended(task));
}

// A task already in Cleanup stays there too. The CD-ROM drive holds no disc:
// its CD copy worker runs and finds nothing to copy.
TEST_F(PrepareTest, ACdRomSourceGetsNothingWrittenAndACdCopyWorker)
{
    Task* stopped = task_between('C', 'F');
    stopped->state = TaskState::Cleanup;
    Task* task = task_between('E', 'D', DRIVE_CDROM);
    prepare_tasks(nullptr);
    EXPECT_EQ(TaskState::Cleanup, stopped->state.load());
    EXPECT_TRUE(workers_ended(stopped));
    EXPECT_EQ(TaskState::Working, task->state.load());
    ASSERT_TRUE(wait_until([&] { return log_of(task).find("CD Copy completed at iteration:0\n") != std::string::npos; }));
    EXPECT_NE(0u, task->copy_thread_id.load());
    ASSERT_TRUE(drives.stop_workers());
    EXPECT_TRUE(list_native_directory(drives.directory('E')).empty());
    // The compare worker cleans up: the empty task directory goes; the log of
    // a task with errors stays.
    EXPECT_FALSE(std::filesystem::exists(drives.directory('D') + "/durandex/TESTHOST/123-1.dir"));
    expect_in_log(task, {"Target Directory: D:\\durandex\\TESTHOST\\123-1.dir, Vol: ",
                         "Using files up to index 10 [Max = 10]\n", "Retries exceeded searching CD directory E:.\n",
                         "Copy thread shutdown.\n"});
    EXPECT_EQ(std::string::npos, log_of(task).find("Created copy thread ID: 0\n"));
}

TEST_F(PrepareTest, WorkersThatCannotBeStartedAreFatalReportsAndLeaveNoIds)
{
    Task* task = task_between('C', 'D');
    fault_arm("CreateThread", 2, ERROR_NOT_ENOUGH_MEMORY);
    prepare_tasks(nullptr);
    EXPECT_EQ(TaskState::Cleanup, task->state.load());
    EXPECT_EQ(2u, task->error_count.load());
    expect_in_log(task, {"ERROR 8 in spawning copy thread.\n", "ERROR 8 in spawning compare thread.\n",
                         "Created compare thread ID: 0\n"});
    EXPECT_EQ(0u, task->copy_thread_id.load());
    EXPECT_EQ(0u, task->compare_thread_id.load());
}

// Small tmpfs drives: a target with room for nine sets, one drive as both
// source and target, two drives of the same room, and a full source on which
// not one file fits (no source file is opened then).
TEST_F(PrepareTest, FileCountFollowsTheFreeSpaceOfSmallDrives)
{
    std::string why;
    constexpr ULONGLONG mebibyte = 1 << 20;
    std::string full;
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
    EXPECT_EQ(9, small_target->file_count.load());
    expect_in_log(small_target, {"Using files up to index 9 [Max = 10]\n"});
    EXPECT_TRUE(std::filesystem::exists(source_dir('C') + "/SRC.8"));
    EXPECT_FALSE(std::filesystem::exists(source_dir('C') + "/SRC.9"));
    EXPECT_EQ(9, one_drive->file_count.load());
    EXPECT_EQ(10, two_drives->file_count.load());
    EXPECT_EQ(0, none_fits->file_count.load());
    EXPECT_EQ(TaskState::Cleanup, none_fits->state.load());
    expect_in_log(none_fits, {"in insufficient disk space.\n<Ignore Error Code>\n",
                              "Using files up to index 0 [Max = 10]\n"});
    EXPECT_TRUE(list_native_directory(source_dir('H')).empty());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(0u, boxes[0].find("Durandex Error: "));
}

}  // namespace
