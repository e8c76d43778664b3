#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/copy_worker.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "temp_drives.h"

namespace {

// Two denied tries of the first copy are reported and the third goes through;
// a missing source costs three tries of the copy and of the attribute step.
TEST(CopyWorkerTest, FailedTriesAreReportedAndTheThirdFailureEndsTheStep)
{
    WorkerRig rig;
    rig.prepare_without_workers(2);
    ASSERT_EQ(unlink(rig.source(1).c_str()), 0);
    fault_arm("CopyFileA", 2, ERROR_ACCESS_DENIED);
    rig.start(copy_worker);
    ASSERT_TRUE(wait_until([&] { return rig.task->copy_count.load() >= 3; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string copying = "copying C:\\durandex\\TESTHOST\\SRC.1 to " + rig_task_dir + "\\1.1.\n";
    const std::string attribute = "setting normal attribute on " + rig_task_dir + "\\1.1.\n";
    const std::string denied = rig_stamp + "ERROR 5 in copying C:\\durandex\\TESTHOST\\SRC.0 to " + rig_task_dir +
                               "\\1.0.\n   Access denied.\n";
    std::string expected = denied + denied;
    for (const std::string& step : {copying, attribute}) {
        for (int tries = 0; tries < 3; ++tries) {
            expected += rig_stamp + "ERROR 2 in " + step + "   File not found.\n";
        }
        expected += rig_stamp + "Retry count exceeded " + step;
    }
    const std::string log = rig.log();
    EXPECT_EQ(log.find(expected), 0u) << log;
    // Cleanup may end the last iteration after its first file.
    size_t iterations = count_of(log, "Retry count exceeded setting normal attribute on");
    EXPECT_GE(iterations, rig.task->copy_count.load() - 1);
    EXPECT_EQ(count_of(log, "Retry count exceeded copying"), iterations);
    EXPECT_EQ(rig.task->error_count.load(), 2 + 8 * iterations);
    EXPECT_EQ(read_text_file(rig.copy(1, 0)), read_text_file(rig.source(0)));
}

// With no compare worker freeing room, copies go on until the target's free
// space is down to one set of files per task and one more: nearly all of a
// small target ends up holding copies. On a 64 TiB tmpfs, whose free bytes do
// not fit in 32 bits, a set of 3 GiB still leaves room for the next copy.
TEST(CopyWorkerTest, CopiesFillTheTargetDownToOneSetPerTaskAndOneMore)
{
    WorkerRig rig;
    std::string why;
    if (rig.drives.add_tmpfs_drive('T', 16 << 20, &why).empty() ||
        rig.drives.add_tmpfs_drive('E', 64ull << 40, &why).empty()) {
        GTEST_SKIP() << why;
    }
    Drive* target = rig.drives.drive('T');
    rig.task->target_drive = target;
    rig.prepare_without_workers(8);  // about 650 KB a set
    refresh_free_space(target);
    const ULONGLONG free_before = free_bytes(target), set = rig.task->source_bytes.load();
    rig.start(copy_worker);
    ASSERT_TRUE(wait_until([&] { return free_bytes(target) <= 2 * set; }));
    ASSERT_TRUE(wait_for_passes(target->total_clusters, 3));
    const DWORD copied = rig.task->copy_count.load();
    ASSERT_TRUE(wait_for_passes(target->total_clusters, 3));
    EXPECT_EQ(rig.task->copy_count.load(), copied);
    EXPECT_GE(free_before - free_bytes(target), free_before * 9 / 10);
    EXPECT_EQ(list_native_directory(rig.native(rig.task->task_dir)).size(), 8u * copied);

    ASSERT_TRUE(rig.drives.stop_workers());
    CloseHandle(rig.task->copy_thread.exchange(nullptr));
    rig.task->target_drive = rig.drives.drive('E');
    rig.task->source_bytes = 3u << 30;
    rig.start(copy_worker);
    ASSERT_TRUE(wait_until([&] { return rig.task->copy_count.load() > copied; }));
}

// A target without room for the sources while the compare worker has nothing
// to compare: the wait is reported after a minute, then never again however
// long it lasts. Each poll sleeps, so a minute of polls takes a minute or more.
TEST(CopyWorkerTest, WaitingForRoomWithNothingToCompareIsReportedOnce)
{
    WorkerRig rig;
    std::string why;
    if (rig.drives.add_tmpfs_drive('T', 1 << 20, &why).empty()) {
        GTEST_SKIP() << why;
    }
    rig.task->target_drive = rig.drives.drive('T');
    rig.prepare_without_workers(10);  // 6 MiB of sources
    clock_set_scale(1000.0);
    const ULONGLONG started = clock_now_ms();
    rig.start(copy_worker);
    const std::string report = "ERROR 112 in waiting for room on the target with no copy left to compare.\n";
    ASSERT_TRUE(wait_until([&] { return rig.log().find(report) != std::string::npos; }));
    const ULONGLONG reported = clock_now_ms();
    EXPECT_GE(reported - started, 60000u);
    // As long again: as many polls again, where the machine keeps its pace.
    ASSERT_TRUE(wait_until([&] { return clock_now_ms() - reported > reported - started; }));
    ASSERT_TRUE(wait_for_passes(rig.task->target_drive->free_clusters, 2));
    EXPECT_EQ(rig.log().find(rig_stamp + report), 0u) << rig.log();
    EXPECT_EQ(count_of(rig.log(), report), 1u);
    EXPECT_EQ(rig.task->error_count.load(), 1u);
    EXPECT_EQ(rig.task->copy_count.load(), 0u);
}

}  // namespace
