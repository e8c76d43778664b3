#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "compare_worker_rig.h"
#include "engine/copy_worker.h"

namespace {

TEST(CopyWorkerTest, MissingSourceCostsRetriesOfCopyAndAttributeEveryIteration)
{
    WorkerRig rig;
    rig.prepare_without_workers(2);
    ASSERT_EQ(unlink(rig.source(1).c_str()), 0);
    rig.start(copy_worker);
    ASSERT_TRUE(wait_for([&] { return rig.task->copy_count.load() >= 3; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string source = rig_source_dir + "\\SRC.1";
    const std::string copy = rig_task_dir + "\\1.1";
    const std::string copy_failure = rig_stamp + "ERROR 2 in copying " + source + " to " + copy + ".\n   File not found.\n";
    const std::string attribute_failure = rig_stamp + "ERROR 2 in setting normal attribute on " + copy + ".\n   File not found.\n";
    std::string log = rig.log();
    EXPECT_EQ(log.find(copy_failure + copy_failure + copy_failure + rig_stamp + "Retry count exceeded copying " +
                       source + " to " + copy + ".\n" + attribute_failure + attribute_failure + attribute_failure +
                       rig_stamp + "Retry count exceeded setting normal attribute on " + copy + ".\n"),
              0u);
    // Cleanup may end the last iteration after its first file.
    size_t iterations = count_of(log, "Retry count exceeded setting normal attribute on");
    EXPECT_GE(iterations, rig.task->copy_count.load() - 1);
    EXPECT_EQ(count_of(log, "Retry count exceeded copying"), iterations);
    EXPECT_EQ(rig.task->error_count.load(), 8 * iterations);
    EXPECT_EQ(read_native_file(rig.copy(1, 0)), read_native_file(rig.source(0)));
}

// Copying runs only while the target's free space exceeds the tasks on it
// plus one, times the task's bytes; a small tmpfs makes the space real.
TEST(CopyWorkerTest, CopiesOnlyWhileTheTargetKeepsRoomForEveryTaskAndOneMore)
{
    WorkerRig rig;
    std::string why;
    std::string target = rig.drives.add_tmpfs_drive('E', 4 << 20, &why);
    if (target.empty()) {
        GTEST_SKIP() << "no small tmpfs for the target: " << why;
    }
    rig.task->target_drive = rig.drives.drive('E');
    rig.prepare_without_workers(5);
    const ULONGLONG source_bytes = rig.task->source_bytes.load();
    rig.task->target_drive->target_task_count = 100;
    rig.start(copy_worker);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.task->copy_count.load(), 0u) << "101 sets of 75 kB do not fit in 4 MiB";
    rig.task->target_drive->target_task_count = 1;
    ASSERT_TRUE(wait_for([&] { return std::filesystem::space(target).available <= 2 * source_bytes; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    DWORD iterations = rig.task->copy_count.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.task->copy_count.load(), iterations) << "copying went on without room";
    EXPECT_EQ(list_native_directory(rig.native(rig.task->task_dir)).size(), 5 * iterations);
    EXPECT_EQ(rig.task->error_count.load(), 0u) << rig.log();
}

}  // namespace
