#include <gtest/gtest.h>

#include <filesystem>

#include "compare_worker_rig.h"
#include "engine/prepare.h"
#include "platform/faults.h"
#include "report/time_file.h"

namespace {

// Start prepares the task and starts both workers, of which the first copy is
// corrupted; Pause parks them, Start lets them go on, Quit sets Cleanup.
TEST(EndToEndTest, CorruptedCopyIsKeptWithTheLogsWhilePauseAndQuitReachBothWorkers)
{
    WorkerRig rig;
    rig.open_main_window();
    fault_corrupt_next_copy(0x45, 0x01);
    prepare_tasks(nullptr);
    ASSERT_TRUE(wait_until([&] { return rig.log().find("\nLine comparisons end.\n") != std::string::npos; }));
    rig.task->state = TaskState::Paused;
    // "Paused " with its trailing blank covers the "Working" it replaces.
    ASSERT_TRUE(wait_until([&] { return rig.task->pause_parked.load() == 1 && rig.shows_status("Paused"); }));
    const DWORD copied = rig.task->copy_count.load();
    const DWORD compared = rig.task->compare_count.load();
    rig.task->state = TaskState::Working;
    ASSERT_TRUE(wait_until([&] {
        return rig.task->copy_count.load() > copied && rig.task->compare_count.load() > compared;
    }));
    write_time_file(rig.task);

    // Cleanup ends parked workers and deletes every copy but the bad one.
    rig.task->state = TaskState::Paused;
    ASSERT_TRUE(wait_until([&] { return rig.task->pause_parked.load() == 1; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    std::string log = rig.log();
    EXPECT_NE(log.find(rig_stamp + "Compare error: " + rig_source_dir + "\\SRC.0 vs. " + rig_task_dir +
                       "\\1.0\nLine comparisons begin:\n  Between Hex Offsets: 40 and 7f\nSRC: 00000040->" +
                       rig_alphabet + "\nTRG: 00000140->" + rig_alphabet + "\n\nLine comparisons end.\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(rig.task->error_count.load(), 1u);
    EXPECT_EQ(list_native_directory(rig.native(rig.task->task_dir)), std::vector<std::string>{"1.0"});
    EXPECT_TRUE(is_read_only(rig.copy(1, 0)));
    EXPECT_TRUE(std::filesystem::exists(rig.native(std::string(rig.task->time_path) + ".two")));
    EXPECT_NE(log.find("Copy thread shutdown.\nTotal Copy Iterations = "), std::string::npos);
    EXPECT_NE(log.find("Compare thread shutdown.\nTotal Compare Iterations = "), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(rig.source(9))) << "source files stay for later runs";
    EXPECT_TRUE(rig.shows_status("Cleanup"));
}

}  // namespace
