#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/pause.h"
#include "temp_drives.h"

namespace {

// A Pause that lands after a pass's last pause point is met by the loop's
// test: the worker parks there, goes on after Unpause, and ends on a Quit
// while parked.
TEST(PauseTest, PauseMetAtTheLoopsTestParksTheWorkerUntilUnpauseOrQuit)
{
    WorkerRig rig;
    for (const TaskState after : {TaskState::Working, TaskState::Cleanup}) {
        rig.task->state = TaskState::Paused;
        std::atomic<int> answer{-1};
        std::thread loop([&] { answer = keep_working(rig.task); });
        EXPECT_TRUE(wait_until([&] { return rig.task->pause_parked.load() == 1; }));
        EXPECT_EQ(answer.load(), -1);
        rig.task->state = after;
        loop.join();
        EXPECT_EQ(answer.load(), after == TaskState::Working ? TRUE : FALSE);
        EXPECT_EQ(rig.task->pause_parked.load(), 0u);
    }
}

}  // namespace
