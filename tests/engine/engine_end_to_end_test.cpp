#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "compare_worker_rig.h"
#include "engine/prepare.h"
#include "platform/faults.h"
#include "report/time_file.h"

namespace {

// Start prepares the task and starts both workers; Quit sets Cleanup.
struct EndToEndTest : ::testing::Test {
    void SetUp() override { rig.open_main_window(); }

    WorkerRig rig;
};

TEST_F(EndToEndTest, CorruptedCopyIsAccountedAndKeptWithTheTaskLogAndTimeFile)
{
    fault_corrupt_next_copy(0x45, 0x01);
    prepare_tasks(nullptr);
    ASSERT_TRUE(wait_for([&] { return rig.log().find("\nLine comparisons end.\n") != std::string::npos; }, 120));
    write_time_file(rig.task);
    ASSERT_TRUE(rig.drives.stop_workers(std::chrono::seconds(120)));
    std::string log = rig.log();
    EXPECT_NE(log.find(rig_stamp + "Compare error: " + rig_source_dir + "\\SRC.0 vs. " + rig_task_dir +
                       "\\1.0\nLine comparisons begin:\n  Between Hex Offsets: 40 and 7f\nSRC: 00000040->" +
                       rig_alphabet + "\nTRG: 00000140->" + rig_alphabet + "\n\nLine comparisons end.\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(rig.task->error_count.load(), 1u);
    EXPECT_EQ(list_native_directory(rig.native(rig.task->task_dir)), std::vector<std::string>{"1.0"});
    EXPECT_TRUE(is_read_only(rig.copy(1, 0)));
    EXPECT_TRUE(native_exists(rig.native(std::string(rig.task->time_path) + ".two")));
    EXPECT_NE(log.find("Copy thread shutdown.\nTotal Copy Iterations = "), std::string::npos);
    EXPECT_NE(log.find("Compare thread shutdown.\nTotal Compare Iterations = "), std::string::npos);
}

TEST_F(EndToEndTest, CleanRunWithAPauseComparesIterationsAndLeavesNothingOnTheTarget)
{
    prepare_tasks(nullptr);
    ASSERT_TRUE(wait_for([&] { return rig.task->compare_count.load() >= 1; }, 120));
    rig.task->state = TaskState::Paused;
    ASSERT_TRUE(wait_for([&] { return rig.task->pause_parked.load() == 1; }));
    // Time for the other worker to finish its file in hand and park too.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // "Paused " with its trailing blank covers the "Working" it replaces.
    EXPECT_TRUE(rig.shows_status("Paused"));
    DWORD copied = rig.task->copy_count.load();
    DWORD compared = rig.task->compare_count.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(rig.task->copy_count.load(), copied);
    EXPECT_EQ(rig.task->compare_count.load(), compared);
    rig.task->state = TaskState::Working;
    EXPECT_TRUE(wait_for([&] { return rig.task->copy_count.load() > copied; }));
    ASSERT_TRUE(wait_for([&] { return rig.task->compare_count.load() >= std::max<DWORD>(compared + 1, 3); }, 120));

    // Cleanup ends parked workers, and a clean run leaves nothing on the target.
    rig.task->state = TaskState::Paused;
    ASSERT_TRUE(wait_for([&] { return rig.task->pause_parked.load() >= 1; }));
    ASSERT_TRUE(rig.drives.stop_workers(std::chrono::seconds(120)));
    EXPECT_EQ(rig.task->error_count.load(), 0u);
    EXPECT_TRUE(list_native_directory(rig.native(rig.task->target_drive->dir_path)).empty());
    EXPECT_TRUE(native_exists(rig.source(9))) << "source files stay for later runs";
    EXPECT_TRUE(rig.shows_status("Cleanup"));
}

}  // namespace
