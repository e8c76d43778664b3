#include <gtest/gtest.h>
#include <utime.h>

#include <cstring>
#include <filesystem>

#include "engine/prepare.h"
#include "engine/source_pattern.h"
#include "records/run_settings.h"
#include "platform/faults.h"
#include "platform/ui_test_seams.h"
#include "temp_drives.h"

namespace {

// The list runs from the newest task, which is prepared first: tasks on one
// target get their own sequence numbers. A source file of the right size that
// holds its pattern, here in the other line size, is reused untouched; SRC.3,
// too long, is written afresh and cut to size.
TEST(PrepareTest, PreparesNamesLogAndSourceFilesThenStartsTheWorkers)
{
    WorkerRig rig;
    Task* task = rig.task;
    rig.drives.add_drive('E');
    Task* newer = rig.drives.add_task('E', 'D');
    strcpy(rig.drives.drive('C')->volume_name, "SRCVOL");
    strcpy(rig.drives.drive('C')->fs_name, "EXT4");
    strcpy(rig.drives.drive('D')->fs_name, "XFS");
    std::filesystem::create_directories(rig.drives.directory('C') + "/durandex/TESTHOST");
    write_native_file(rig.source(3), std::string(5000, '#'));
    std::string kept(run_settings.source_file_sizes[4] + 32, '\0');
    fill_source_pattern(reinterpret_cast<BYTE*>(kept.data()), run_settings.source_file_sizes[4], 32);
    write_native_file(rig.source(4), kept.substr(0, run_settings.source_file_sizes[4]));
    utimbuf old_times = {1000000000, 1000000000};
    ASSERT_EQ(utime(rig.source(4).c_str(), &old_times), 0);
    EXPECT_EQ(prepare_tasks(nullptr), 0u);
    EXPECT_STREQ(newer->task_dir, rig_task_dir.c_str());
    EXPECT_STREQ(task->task_dir, "D:\\durandex\\TESTHOST\\4321-2.dir");
    EXPECT_STREQ(task->time_path, "D:\\durandex\\TESTHOST\\tim2321");
    EXPECT_EQ(rig.native(task->log_path), rig.drives.directory('D') + "/durandex/TESTHOST/log2.321");
    EXPECT_TRUE(std::filesystem::exists(rig.native(task->task_dir)));
    EXPECT_EQ(rig.drives.drive('D')->target_task_count.load(), 2);
    EXPECT_EQ(task->source_bytes.load(), 5907712u);
    EXPECT_EQ(newer->state.load(), TaskState::Working);
    EXPECT_EQ(read_text_file(rig.source(3)).substr(4096), "00001000->ABC");
    struct stat status {};
    ASSERT_EQ(stat(rig.source(4).c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1000000000);
    std::string expected = rig_stamp + "\n\n\tDurandex Log File\n\n" +
                           "Source Directory: C:\\durandex\\TESTHOST, Vol: SRCVOL, FS: EXT4\n" +
                           "Target Directory: D:\\durandex\\TESTHOST\\4321-2.dir, Vol: , FS: XFS\n" +
                           "Using files up to index 10 [Max = 10]\n";
    for (int index : {0, 1, 2, 3, 5, 6, 7, 8, 9}) {
        expected += rig_stamp + "Created source file C:\\durandex\\TESTHOST\\SRC." + std::to_string(index) + "\n";
    }
    expected += rig_stamp + "Created copy thread ID: " + std::to_string(task->copy_thread_id.load()) + "\n" +
                rig_stamp + "Created compare thread ID: " + std::to_string(task->compare_thread_id.load()) + "\n";
    EXPECT_EQ(rig.log(task), expected);
}

// A kept source file whose bytes changed on the device since it was written:
// preparation reads it back from the drive, counts one error, logs the
// differing lines, keeps the file read-only as evidence (beside an earlier
// run's) and writes a fresh one, so that the run copies good data. Intact
// files are reused untouched.
TEST(PrepareTest, KeptSourceDamagedOnTheDeviceIsCountedKeptAndWrittenAfresh)
{
    WorkerRig rig;
    std::string why;
    if (rig.drives.add_ext4_drive('S', 64 << 20, &why).empty()) {
        GTEST_SKIP() << why;
    }
    rig.task->source_drive = rig.drives.drive('S');
    rig.prepare_without_workers(10);
    const std::string directory = rig.drives.directory('S') + "/durandex/TESTHOST/";
    const std::string good = read_text_file(directory + "SRC.9");
    write_native_file(directory + "SRC.9.damaged", "an earlier run's evidence");
    ASSERT_EQ(flip_on_the_device(directory + "SRC.9", rig.drives.image('S'), 0x10, 0x20), 1024u);
    rig.task->state = TaskState::Inactive;
    EXPECT_EQ(prepare_tasks(nullptr), 0u);
    const std::string log = rig.log();
    const std::string name = "S:\\durandex\\TESTHOST\\SRC.9";
    EXPECT_NE(log.find(rig_stamp + "Source file damaged at rest: " + name + "\nLine comparisons begin:\n"
                       "  Between Hex Offsets: 0 and 3f\n"
                       "SRC: 00000000->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz\n"
                       "TRG: 00000000->ABCDEFgHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("924 more lines differ.\n\nLine comparisons end.\n" + rig_stamp +
                       "Damaged source file kept as " + name + ".damaged.2\n" + rig_stamp +
                       "Created source file " + name + "\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(count_of(log, "Created source file"), 1u);
    EXPECT_EQ(rig.task->error_count.load(), 1u);
    EXPECT_EQ(read_text_file(directory + "SRC.9"), good);
    EXPECT_EQ(read_text_file(directory + "SRC.9.damaged"), "an earlier run's evidence");
    const std::string evidence = read_text_file(directory + "SRC.9.damaged.2");
    EXPECT_EQ(evidence.size(), good.size());
    EXPECT_NE(evidence, good);
    EXPECT_TRUE(is_read_only(directory + "SRC.9.damaged.2"));
}

// A failed step sends its task to Cleanup but preparation goes on, through a
// file in the way of the source directories (reported in a box: the log has
// no name yet), workers that cannot be started and a task already in
// Cleanup, which gets nothing written. The file count follows the free space
// of small tmpfs drives: a target with room for nine sets, one drive as both
// source and target, two drives of the same room, and a full source on which
// not one file fits (no source file is opened then).
TEST(PrepareTest, FailedStepsAndSmallDrivesCutTheirTaskShortButPreparationGoesOn)
{
    std::string boxes;  // read once every worker has ended
    WorkerRig rig;
    set_message_box_observer([&](HWND, const char* text, const char* caption, UINT) {
        boxes += std::string(caption) + ": " + text;
    });
    std::string why, full;
    constexpr ULONGLONG mebibyte = 1 << 20;
    if (rig.drives.add_tmpfs_drive('K', 8 * mebibyte, &why).empty() ||
        rig.drives.add_tmpfs_drive('E', 20 * mebibyte, &why).empty() ||
        rig.drives.add_tmpfs_drive('F', 20 * mebibyte, &why).empty() ||
        rig.drives.add_tmpfs_drive('G', 20 * mebibyte, &why).empty() ||
        (full = rig.drives.add_tmpfs_drive('H', 65536, &why)).empty()) {
        GTEST_SKIP() << why;
    }
    write_native_file(full + "/filler", std::string(65536, 'f'));
    rig.task->target_drive = rig.drives.drive('K');
    Task* one_drive = rig.drives.add_task('E', 'E');
    Task* two_drives = rig.drives.add_task('F', 'G');
    Task* none_fits = rig.drives.add_task('H', 'C');
    write_native_file(rig.drives.add_drive('J') + "/durandex", "in the way");
    Task* in_the_way = rig.drives.add_task('J', 'D');
    rig.drives.add_drive('L');
    Task* stopped = rig.drives.add_task('L', 'L');
    stopped->state = TaskState::Cleanup;
    rig.drives.add_drive('I');
    Task* no_threads = rig.drives.add_task('I', 'I');
    fault_arm("CreateThread", 2, ERROR_NOT_ENOUGH_MEMORY);
    prepare_tasks(nullptr);
    for (Task* task : {in_the_way, stopped, no_threads, none_fits}) {
        EXPECT_EQ(task->state.load(), TaskState::Cleanup);
        ASSERT_TRUE(wait_until([task] { return task->copy_thread_id == 0 && task->compare_thread_id == 0; }));
    }
    EXPECT_EQ(in_the_way->error_count.load(), 12u) << "two directories and ten source files";
    EXPECT_NE(rig.log(in_the_way).find("ERROR 3 in creating source file.\n"), std::string::npos);
    EXPECT_EQ(read_text_file(rig.drives.directory('J') + "/durandex"), "in the way");
    EXPECT_EQ(read_text_file(rig.drives.directory('L') + "/durandex/TESTHOST/SRC.0"), "");
    EXPECT_EQ(no_threads->error_count.load(), 2u);
    EXPECT_NE(rig.log(no_threads).find("ERROR 8 in spawning compare thread.\n"), std::string::npos);
    EXPECT_NE(rig.log().find("Using files up to index 9 [Max = 10]\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(rig.source(8)));
    EXPECT_FALSE(std::filesystem::exists(rig.source(9)));
    EXPECT_EQ(one_drive->file_count.load(), 9);
    EXPECT_EQ(two_drives->file_count.load(), 10);
    EXPECT_NE(rig.log(none_fits).find("in insufficient disk space.\n<Ignore Error Code>\n"), std::string::npos);
    EXPECT_NE(rig.log(none_fits).find("Using files up to index 0 [Max = 10]\n"), std::string::npos);
    EXPECT_TRUE(list_native_directory(full + "/durandex/TESTHOST").empty());
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_NE(boxes.find("Durandex Error: ERROR 183 in creating source durandex directory.\n   File already exists.\n"),
              std::string::npos);
}

}  // namespace
