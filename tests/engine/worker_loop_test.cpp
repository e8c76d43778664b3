// The skeleton every worker runs: its steps in order, each at its moment.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "engine/worker_loop.h"
#include "temp_drives.h"

namespace {

// A worker's steps that note what they see. The shutdown step gets only the
// task, so the record is reached through this pointer.
struct NotingWorker {
    Task* task = nullptr;
    const volatile char* lost_byte = nullptr;
    std::vector<std::string> steps;
    int passes = 0;
};
NotingWorker* noting = nullptr;

void note(const std::string& step) { noting->steps.push_back(step); }

void begin_noting(void* context)
{
    note("begin while " + std::string(task_state_word(static_cast<NotingWorker*>(context)->task->state)));
}

// The first pass faults for real; the second ends the task.
void noting_pass(void* context)
{
    auto* worker = static_cast<NotingWorker*>(context);
    note("pass " + std::to_string(++worker->passes));
    if (worker->passes == 1) {
        (void)*worker->lost_byte;
        note("read the lost byte");
    }
    worker->task->state = TaskState::Cleanup;
}

void recover_noting(void*, const TaskGuard* guard)
{
    char code[16];
    std::snprintf(code, sizeof code, "%x", (unsigned int)guard->exception_code);
    note(std::string("recover from ") + code);
}

void shut_down_noting(Task* task) { note("shut down, id " + std::to_string(task->compare_thread_id)); }

const WorkerSteps noting_steps = {
    .begin = begin_noting,
    .pass = noting_pass,
    .recover = recover_noting,
    .shut_down = shut_down_noting,
    .thread_id = &Task::compare_thread_id,
};

// The worker begins once the task has left Starting, parks at its first pause
// point before any pass, runs its passes under the task's guard with the
// filter's verdict sending it to its recovery, and shuts down before its id
// is cleared.
TEST(WorkerLoopTest, StepsRunInTheirOrderAroundTheGuardedLoop)
{
    WorkerRig rig;
    rig.prepare_without_workers(1);
    // A page cut off under its view: reading it faults as a bad sector does.
    const long page = sysconf(_SC_PAGESIZE);
    char name[] = "/tmp/worker-loop-XXXXXX";
    const int fd = mkstemp(name);
    unlink(name);
    ASSERT_EQ(ftruncate(fd, 2 * page), 0);
    void* view = mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0);
    ASSERT_NE(view, MAP_FAILED);
    ASSERT_EQ(ftruncate(fd, page), 0);

    Task* task = rig.task;
    NotingWorker worker;
    worker.task = task;
    worker.lost_byte = static_cast<const char*>(view) + page;
    noting = &worker;
    // The task's eleventh exception goes to the recovery at once.
    task->exception_count = continued_exception_limit;
    task->compare_thread_id = 77;
    task->state = TaskState::Starting;
    DWORD result = 1;
    std::thread thread([&] { result = run_worker(noting_steps, task, &worker); });
    task->state = TaskState::Paused;
    EXPECT_TRUE(wait_until([&] { return task->pause_parked.load() == 1; }));
    EXPECT_EQ(worker.passes, 0) << "no pass before the first pause point lets it";
    task->state = TaskState::Working;
    thread.join();

    EXPECT_EQ(worker.steps, (std::vector<std::string>{"begin while Paused ", "pass 1", "recover from c0000006",
                                                      "pass 2", "shut down, id 77"}));
    EXPECT_EQ(task->compare_thread_id.load(), 0u);
    EXPECT_EQ(result, 0u);
    EXPECT_NE(rig.log().find("    Exception Count Exceeded.\n"), std::string::npos) << rig.log();
    munmap(view, 2 * page);
    close(fd);
    noting = nullptr;
}

}  // namespace
