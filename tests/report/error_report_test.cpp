#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/error_report.h"
#include "report_fixture.h"

namespace {

using ErrorReport = ReportTest;

// A last error of 0 only counts, even when fatal.
TEST_F(ErrorReport, FatalReportStopsTaskFromAnyStateAndShowsBoxBeforeLogging)
{
    Task* quiet = make_task("quiet");
    SetLastError(0);
    report_error(quiet, FALSE, "nothing.");
    SetLastError(0);
    report_error(quiet, TRUE, "nothing at all.");
    EXPECT_EQ(quiet->error_count.load(), 2u);
    EXPECT_EQ(quiet->state.load(), TaskState::Working);
    EXPECT_FALSE(std::filesystem::exists(on_drive_d("quiet.log")));
    EXPECT_FALSE(std::filesystem::exists(debug_output));
    for (TaskState from : {TaskState::Working, TaskState::Paused, TaskState::Starting}) {
        std::string name = "fatal" + std::to_string(static_cast<DWORD>(from));
        Task* task = make_task(name.c_str());
        watched_log = on_drive_d(name + ".log");
        task->state.store(from);
        SetLastError(ERROR_DISK_FULL);
        report_error(task, TRUE, "creating task directory.");
        EXPECT_EQ(task->state.load(), TaskState::Cleanup) << "from state " << task_state_word(from);
        EXPECT_EQ(read_file(watched_log), "7/3/1996, 9:05 ERROR 112 in creating task directory.\n   The disk is full.\n");
    }
    expect_boxes(3, "Durandex Error", "ERROR 112 in creating task directory.\n   The disk is full.\n");
    for (const ShownBox& box : shown_boxes()) {
        EXPECT_EQ(box.watched_log_at_show, "") << "log line written before the box";
    }
    EXPECT_TRUE(event_entries().empty());
}

// Listed codes with and without an event log entry, and unlisted ones (7 lies
// between listed codes; 0xC0000006 is no Win32 code and prints signed), fatal
// or not, with an action naming long paths that must not be cut.
TEST_F(ErrorReport, EachCodeLogsTwoLinesAndOnlyDriveLevelOnesReachEventLog)
{
    const struct { DWORD code; const char* lines; bool to_event_log; } codes[] = {
        {23, "ERROR 23 in %s\n   Data Error - Cyclic Redundancy Check <CRC>.\n", true},
        {1005, "ERROR 1005 in %s\n   Volume contains unrecognized file system.\n", true},
        {32, "ERROR 32 in %s\n   File sharing violation.\n", false},
        {1816, "ERROR 1816 in %s\n   Not enough quota is available to process this command.\n", false},
        {7, "ERROR 7 in %s\n   See Win32 API Error Codes.\n", false},
        {0xC0000006, "ERROR -1073741818 in %s\n   See Win32 API Error Codes.\n", false},
    };
    Task* task = make_task("routed");
    const std::string path = "D:\\" + std::string(250, 'p');
    const std::string action = "copying " + path + " to " + path + ".";
    std::string expected_log;
    std::vector<std::string> expected_events;
    for (BOOL fatal : {FALSE, TRUE}) {
        for (const auto& entry : codes) {
            SetLastError(entry.code);
            report_error(task, fatal, action.c_str());
            std::string message = entry.lines;
            message.replace(message.find("%s"), 2, action);
            expected_log += "7/3/1996, 9:05 " + message;
            if (entry.to_event_log) {
                expected_events.push_back(event_entry(entry.code, message));
            }
        }
        EXPECT_EQ(shown_boxes().size(), fatal ? std::size(codes) : 0u);
        EXPECT_EQ(task->state.load(), fatal ? TaskState::Cleanup : TaskState::Working);
    }
    EXPECT_EQ(read_file(on_drive_d("routed.log")), expected_log);
    EXPECT_EQ(event_entries(), expected_events);
    EXPECT_EQ(task->error_count.load(), 2 * std::size(codes));
}

}  // namespace
