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

// Copies run 64 MiB ahead of the compare worker: at least three
// iterations of large sources, at most 256 of small ones. Where it can be
// mounted, the target is a 64 TiB tmpfs, whose free bytes do not fit in 32
// bits: the room test must see them all. The worker refreshes the target's
// geometry at the head of every pass.
TEST(CopyWorkerTest, CopiesRun64MiBAheadOfTheCompareWithinThreeTo256Iterations)
{
    WorkerRig rig;
    std::string why;
    if (!rig.drives.add_tmpfs_drive('E', 64ull << 40, &why).empty()) {
        rig.task->target_drive = rig.drives.drive('E');
    }
    rig.prepare_without_workers(1);
    // The lead is counted from source_bytes; the file copied stays small.
    const DWORD small = rig.task->source_bytes.load(), large = 100 << 20, sixteen_mib = 16 << 20;
    struct Step {
        DWORD compared, source_bytes, copies;
    };
    rig.task->source_bytes = large;
    rig.start(copy_worker);
    for (const Step step : {Step{0, large, 3}, Step{1, sixteen_mib, 5}, Step{1, small, 257}}) {
        rig.task->compare_count = step.compared;
        rig.task->source_bytes = step.source_bytes;
        ASSERT_TRUE(wait_until([&] { return rig.task->copy_count.load() == step.copies; }));
        ASSERT_TRUE(wait_for_passes(rig.task->target_drive->total_clusters, 2));
        EXPECT_EQ(rig.task->copy_count.load(), step.copies);
    }
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
