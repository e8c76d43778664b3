#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "report/task_log.h"
#include "platform/faults.h"
#include "platform/guard.h"
#include "report_fixture.h"

namespace {

using TaskLog = ReportTest;

// Stamped and plain writes append exactly their text, and the debugger output
// gets each text without its stamp; a log that cannot be opened shows a box
// for every write, which still reaches the debugger output.
TEST_F(TaskLog, WritesAppendExactTextOrShowABoxEach)
{
    Task* task = make_task("t1");
    write_native(d_dir / "t1.log", "earlier run\n");
    write_task_log(task, TRUE, "Task started.\n");
    write_task_log(task, FALSE, "   continuation\n");
    fix_local_time(23, 59);
    write_task_log(task, TRUE, "");
    fix_local_time(0, 0);
    write_task_log(task, TRUE, "partial ");
    write_task_log(task, FALSE, "line\n");
    EXPECT_EQ(read_text_file(d_dir / "t1.log"),
              "earlier run\n7/3/1996, 9:05 Task started.\n   continuation\n7/3/1996, 23:59 7/3/1996, 0:00 partial line\n");
    std::snprintf(task->log_path, sizeof task->log_path, "Q:\\durandex\\lost.log");  // Q: is not mapped
    write_task_log(task, TRUE, "one\n");
    write_task_log(task, FALSE, "two\n");
    EXPECT_EQ(read_text_file(debug_output), "Task started.\n   continuation\npartial line\none\ntwo\n");
    EXPECT_EQ(boxes, std::vector<std::string>(2, "Durandex Log Error|Error opening Log File Q:\\durandex\\lost.log.\nErr# 3"));
    EXPECT_EQ(task->error_count.load(), 0u);
    EXPECT_EQ(task->state.load(), TaskState::Working);
}

// Writers on several threads: every stamp stays with its text and no append
// overwrites another.
TEST_F(TaskLog, ConcurrentStampedWritesStayWholeAndNoneIsLost)
{
    Task* task = make_task("busy");
    constexpr int writers = 4, lines = 1000;
    std::vector<std::thread> threads;
    for (int t = 0; t < writers; ++t) {
        threads.emplace_back([&, t] {
            for (int n = 0; n < lines; ++n) {
                write_task_log(task, TRUE, ("writer " + std::to_string(t) + " line " + std::to_string(n) + "\n").c_str());
            }
        });
    }
    std::for_each(threads.begin(), threads.end(), [](std::thread& thread) { thread.join(); });
    std::istringstream content(read_text_file(d_dir / "busy.log"));
    std::set<std::string> seen;
    for (std::string line; std::getline(content, line);) {
        ASSERT_TRUE(std::regex_match(line, std::regex(R"(7/3/1996, 9:05 writer \d line \d+)"))) << line;
        EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(writers * lines));
}

#ifndef NDEBUG
volatile sig_atomic_t view_read_let_through = 0;

// A log's lock is one the exception filter takes. A writer stopped inside its
// write (its WriteFile held) is made to read a view, by a signal handled on
// its thread: the debug check ends the process. After a write, whole or
// refused, its thread holds no such lock.
TEST_F(TaskLog, WriterHoldsALockTheFilterTakesOnlyWhileItWrites)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Task* task = make_task("held");
    EXPECT_DEATH(
        {
            fault_hold("WriteFile");
            std::thread writer([task] { write_task_log(task, FALSE, "held\n"); });
            wait_until([] { return fault_held_calls() == 1; });
            signal(SIGUSR1, [](int) {
                check_view_read();
                view_read_let_through = 1;
            });
            pthread_kill(writer.native_handle(), SIGUSR1);
            wait_until([] { return view_read_let_through == 1; });
            fault_reset();
            writer.join();
        },
        "a mapped view was read while this thread holds a lock that the exception filter takes");
    EXPECT_EXIT(
        {
            write_task_log(task, TRUE, "whole\n");
            std::snprintf(task->log_path, sizeof task->log_path, "Q:\\durandex\\lost.log");  // Q: is not mapped
            write_task_log(task, FALSE, "refused\n");
            check_view_read();
            _exit(boxes.size() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
