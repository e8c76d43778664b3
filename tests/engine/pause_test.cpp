#include <gtest/gtest.h>

#include <thread>

#include "compare_worker_rig.h"
#include "engine/pause.h"
#include "engine/status_cell.h"

namespace {

TEST(PauseTest, ParksWithPausedDrawnUntilUnpausedAndEndsOnlyOnCleanup)
{
    WorkerRig rig;
    rig.open_main_window();
    draw_status_word(rig.task, "Working");
    rig.task->state = Paused;
    BOOL working = FALSE;
    std::thread worker([&] { working = keep_working(rig.task); });
    ASSERT_TRUE(wait_for([&] { return rig.task->pause_parked.load() == 1; }));
    // The trailing blank of "Paused " covers the last letter of "Working".
    EXPECT_TRUE(wait_for([&] { return rig.shows_status("Paused"); }));
    rig.task->state = Working;
    worker.join();
    EXPECT_TRUE(working) << "a Pause at the loop test must not end the worker";
    EXPECT_EQ(rig.task->pause_parked.load(), 0u);

    rig.task->state = Paused;
    std::thread quitting([&] { working = keep_working(rig.task); });
    ASSERT_TRUE(wait_for([&] { return rig.task->pause_parked.load() == 1; }));
    rig.task->state = Cleanup;
    quitting.join();
    EXPECT_FALSE(working);
}

}  // namespace
