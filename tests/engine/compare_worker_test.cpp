#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "engine/compare_worker.h"
#include "engine/copy_worker.h"
#include "engine/line_account.h"
#include "records/run_settings.h"
#include "platform/faults.h"
#include "platform/guard.h"
#include "platform/ui_test_seams.h"
#include "temp_drives.h"

namespace {

void flip_byte(const std::string& path, long offset, char mask)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(offset);
    char byte = static_cast<char>(file.get());
    file.seekp(offset);
    file.put(static_cast<char>(byte ^ mask));
}

// From 2 MiB on, the 4 MiB file reads back as zeros, as a cut loop device
// gives: 32769 of its lines differ.
void cut_tail(const std::string& path)
{
    truncate(path.c_str(), 0x200000);
    truncate(path.c_str(), run_settings.source_file_sizes[9]);
}

// Two differing lines in one file, a copy of the wrong size, which is kept
// without being compared, and a cut 4 MiB one, whose account is bounded and
// closed. Copies of iteration 2 count as still being copied while copy_count
// is 2: one iteration is compared.
TEST(CompareWorkerTest, DifferingLinesAreDumpedBoundedAndBadCopiesStayReadOnly)
{
    WorkerRig rig;
    rig.prepare_without_workers(10);
    rig.copy_iterations(2);
    flip_byte(rig.copy(1, 1), 0x45, 0x01);
    flip_byte(rig.copy(1, 1), 0x3f0, 0x20);
    std::ofstream(rig.copy(1, 2), std::ios::app) << 'x';
    cut_tail(rig.copy(1, 9));
    rig.start(compare_worker);
    const std::string closing = "32669 more lines differ.\n\nLine comparisons end.\n";
    ASSERT_TRUE(wait_until([&] { return rig.log().find(closing) != std::string::npos; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string log = rig.log();
    EXPECT_EQ(log.find(R"(7/3/1996, 9:05 Compare error: C:\durandex\TESTHOST\SRC.1 vs. D:\durandex\TESTHOST\4321-1.dir\1.1
Line comparisons begin:
  Between Hex Offsets: 40 and 7f
SRC: 00000040->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz
TRG: 00000140->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz
  Between Hex Offsets: 3c0 and 3ff
SRC: 000003c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz
TRG: 000003c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijkLmnopqrstuvwxyz

Line comparisons end.
7/3/1996, 9:05 Size error in file D:\durandex\TESTHOST\4321-1.dir\1.2
7/3/1996, 9:05 Compare error: C:\durandex\TESTHOST\SRC.9 vs. D:\durandex\TESTHOST\4321-1.dir\1.9
)"), 0u) << log;
    EXPECT_EQ(count_of(log, "  Between Hex Offsets: "), 2 + dumped_line_limit);
    EXPECT_NE(log.find("  Between Hex Offsets: 200000 and 20003f\nSRC: 00200000->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz"
                       "\nTRG: " + std::string(63, '.') + "\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.find(closing)), closing + rig_stamp + "Compare thread shutdown.\nTotal Compare Iterations = 1\n");
    EXPECT_EQ(rig.task->error_count.load(), 3u);
    EXPECT_FALSE(std::filesystem::exists(rig.copy(1, 0))) << "a good copy goes once compared";
    for (BYTE index : {1, 2, 9}) {
        EXPECT_TRUE(is_read_only(rig.copy(1, index)));
        EXPECT_FALSE(std::filesystem::exists(rig.copy(2, index)));
    }
}

// The copy worker writes to ext4 on a loop device, and one byte of every
// 4 KiB of the 4 MiB file's first copy is flipped on the raw image under it.
// The compare reads the damage from the device: 1024 lines differ, 100 are
// dumped, the account is closed, and Cleanup then ends both workers at once.
TEST(CompareWorkerTest, CopyDamagedOnTheDeviceIsFoundAndCleanupEndsBothWorkers)
{
    WorkerRig rig;
    std::string why;
    if (rig.drives.add_ext4_drive('E', 64 << 20, &why).empty()) {
        GTEST_SKIP() << why;
    }
    rig.task->target_drive = rig.drives.drive('E');
    rig.prepare_without_workers(10);
    rig.start(copy_worker);
    ASSERT_TRUE(wait_until([&] { return rig.task->copy_count.load() >= 2; }));  // the first iteration is whole
    ASSERT_EQ(flip_on_the_device(rig.copy(1, 9), rig.drives.image('E'), 0x10, 0x20), 1024u);
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.log().find("Line comparisons end.\n") != std::string::npos; }));
    rig.task->state = TaskState::Cleanup;
    EXPECT_TRUE(wait_until([&] { return rig.task->copy_thread_id.load() == 0 && rig.task->compare_thread_id.load() == 0; },
                           std::chrono::seconds(5)));
    const std::string log = rig.log(), first = read_text_file(rig.source(9)).substr(0, 63);
    std::string damaged = first;
    damaged[0x10] ^= 0x20;
    EXPECT_NE(log.find("Line comparisons begin:\n  Between Hex Offsets: 0 and 3f\nSRC: " + first + "\nTRG: " + damaged +
                       "\n  Between Hex Offsets: 1000 and 103f\n"), std::string::npos) << log;
    EXPECT_EQ(count_of(log, "  Between Hex Offsets: "), dumped_line_limit);
    EXPECT_NE(log.find("  Between Hex Offsets: 63000 and 6303f\n"), std::string::npos);
    EXPECT_NE(log.find("\n924 more lines differ.\n\nLine comparisons end.\n"), std::string::npos);
    EXPECT_EQ(rig.task->error_count.load(), 1u);
    EXPECT_TRUE(is_read_only(rig.copy(1, 9)));
}

// Cleanup lands while a long account is being written, from the box that
// the failed write of its first block shows (the log's directory is missing
// until then): the walk stops there, and the account is still closed.
TEST(CompareWorkerTest, AccountEndsEarlyWhenTheTaskLeavesWorking)
{
    WorkerRig rig;
    rig.prepare_without_workers(10);
    rig.copy_iterations(2);
    cut_tail(rig.copy(1, 9));
    snprintf(rig.task->log_path, MAX_PATH, "D:\\later\\log");
    const std::string later = rig.drives.directory('D') + "/later";
    int boxes = 0;  // the worker's only
    set_message_box_observer([&](HWND, const char*, const char*, UINT) {
        // After the compare error's line and the account's head.
        if (++boxes == 3) {
            std::filesystem::create_directory(later);
            rig.task->state = TaskState::Cleanup;
        }
    });
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.task->compare_thread_id.load() == 0; }));
    const std::string log = rig.log();
    // The line in hand is the last one dumped.
    EXPECT_EQ(log.substr(log.find("TRG: ")), "TRG: " + std::string(63, '.') + "\n\nLine comparisons end.\n" + rig_stamp +
                                                 "Compare thread shutdown.\nTotal Compare Iterations = 1\n") << log;
    EXPECT_TRUE(is_read_only(rig.copy(1, 9)));
}

// The comparison faults for real. The filter's own log writes must not leave
// their code for the recovery's report.
TEST(CompareWorkerTest, FaultInTheComparisonIsFilteredThenRecovered)
{
    std::string last_box;  // written by the worker only, read once it has ended
    WorkerRig rig;
    rig.prepare_without_workers(1);
    rig.copy_iterations(2);
    const std::string source = rig.source(0);
    rig.fault_next_comparison(source, [&](const std::string& box) { last_box = box; });
    rig.start(compare_worker);
    const std::string recovery = " in Non-continuable exception comparing files from C:\\ to D:\\.\n";
    ASSERT_TRUE(wait_until([&] { return rig.log().find(recovery) != std::string::npos; }));
    std::string log = rig.log();
    EXPECT_EQ(count_of(log, rig_stamp + "Exception Code = c0000006\n    STATUS_IN_PAGE_ERROR\n    Continuable\n"), 10u);
    EXPECT_NE(log.find("    Exception Count Exceeded.\n" + rig_stamp + "ERROR 23" + recovery), std::string::npos) << log;
    EXPECT_EQ(rig.task->state.load(), TaskState::Cleanup);
    // The failed try, the recovery's own count and its fatal report.
    EXPECT_EQ(rig.task->error_count.load(), 3u);
    // The abandoned step's views are released; its copy is left to the cleanup.
    const auto mapped = [](const std::string& path) { return read_text_file("/proc/self/maps").find(path) != std::string::npos; };
    EXPECT_TRUE(wait_until([&] { return !mapped(source) && !mapped(rig.copy(1, 0)); }));
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_FALSE(std::filesystem::exists(rig.copy(1, 0)));
    EXPECT_EQ(last_box.rfind("Durandex Error|ERROR ", 0), 0u);
}

#ifndef NDEBUG
// The account reads the views between its log writes. A thread that held a
// log's lock across it would wait for ever in the filter on a bad sector; in
// a debug build it dies at the first read instead.
TEST(CompareWorkerTest, LineAccountUnderALockTheFilterTakesEndsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    WorkerRig rig;
    rig.prepare_without_workers(1);
    const BYTE source[64] = {'a'};
    const BYTE target[64] = {'b'};
    EXPECT_DEATH(
        {
            note_filter_lock_taken();
            write_line_account(rig.task, source, target, sizeof source);
        },
        "a mapped view was read while this thread holds a lock that the exception filter takes");
    EXPECT_EQ(write_line_account(rig.task, source, target, sizeof source), AccountOutcome::Differs);
}
#endif

}  // namespace
