#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "report/event_log.h"
#include "report/task_log.h"
#include "report_fixture.h"

namespace {

using TaskLog = ReportTest;

TEST_F(TaskLog, StampedAndPlainWritesAppendExactText)
{
    Task* task = make_task("t1");
    std::ofstream(on_drive_d("t1.log"), std::ios::binary) << "earlier run\n";
    write_task_log(task, TRUE, "Task started.\n");
    write_task_log(task, FALSE, "   continuation\n");
    fix_local_time(23, 59);
    write_task_log(task, TRUE, "");
    fix_local_time(0, 0);
    write_task_log(task, TRUE, "partial ");
    write_task_log(task, FALSE, "line\n");
    EXPECT_EQ(read_file(on_drive_d("t1.log")),
              "earlier run\n"
              "7/3/1996, 9:05 Task started.\n"
              "   continuation\n"
              "7/3/1996, 23:59 "
              "7/3/1996, 0:00 partial line\n");
    // The debugger output gets each text without its stamp.
    EXPECT_EQ(read_file(debug_output), "Task started.\n   continuation\npartial line\n");
    EXPECT_TRUE(shown_boxes().empty());
}

TEST_F(TaskLog, UnopenableLogShowsBoxForEveryWriteAndStillReachesDebugOutput)
{
    Task* task = make_task("lost");
    // Drive Q is not mapped, so the open fails with a missing path.
    std::snprintf(task->log_path, sizeof task->log_path, "Q:\\durandex\\lost.log");
    task->error_count.store(2);
    write_task_log(task, TRUE, "one\n");
    write_task_log(task, FALSE, "two\n");
    expect_boxes(2, "Durandex Log Error", "Error opening Log File Q:\\durandex\\lost.log.\nErr# 3");
    EXPECT_EQ(read_file(debug_output), "one\ntwo\n");
    EXPECT_EQ(task->error_count.load(), 2u);
    EXPECT_EQ(task->state.load(), TaskState::Working);
}

// Writers on several threads: every stamp stays with its text, no append
// overwrites another, and event log entries made meanwhile stay whole too.
TEST_F(TaskLog, ConcurrentStampedWritesStayWholeAndNoneIsLost)
{
    Task* task = make_task("busy");
    constexpr int thread_count = 4;
    constexpr int lines_per_thread = 1000, entries_per_thread = 200;
    auto entry_text = [](int t) { return "line one of " + std::to_string(t) + "\nline two of " + std::to_string(t) + "\n"; };
    std::vector<std::thread> writers;
    for (int t = 0; t < thread_count; ++t) {
        writers.emplace_back([task, t, &entry_text] {
            for (int n = 0; n < lines_per_thread; ++n) {
                std::string text = "writer " + std::to_string(t) + " line " + std::to_string(n) + "\n";
                write_task_log(task, TRUE, text.c_str());
                if (n < entries_per_thread) {
                    SetLastError(static_cast<DWORD>(100 + t));
                    report_event("durandex", entry_text(t).c_str());
                }
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::istringstream content(read_file(on_drive_d("busy.log")));
    const std::regex whole_line(R"(7/3/1996, 9:05 writer (\d) line (\d+))");
    std::set<std::pair<int, int>> seen;
    std::string line;
    while (std::getline(content, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole_line)) << "broken line: " << line;
        EXPECT_TRUE(seen.emplace(std::stoi(match[1]), std::stoi(match[2])).second) << "twice: " << line;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(thread_count * lines_per_thread));
    std::vector<std::string> entries = event_entries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(thread_count * entries_per_thread));
    for (int t = 0; t < thread_count; ++t) {
        EXPECT_EQ(std::count(entries.begin(), entries.end(), event_entry(static_cast<DWORD>(100 + t), entry_text(t))),
                  entries_per_thread);
    }
}

}  // namespace
