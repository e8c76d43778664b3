#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
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

// Every listed code and some that are not (4 and 7 lie between listed codes;
// 0xC0000006 is no Win32 code and prints signed), fatal or not, with an action
// naming long paths that must not be cut to a fixed buffer.
TEST_F(ErrorReport, EachCodeLogsTwoLinesAndOnlyDriveLevelOnesReachEventLog)
{
    Task* task = make_task("routed");
    std::string path = "D:\\" + std::string(250, 'p');
    std::string action = "copying " + path + " to " + path + ".";
    std::vector<ErrorExplanation> codes(std::begin(error_explanations), std::end(error_explanations));
    for (DWORD unlisted : {4u, 7u, 9999u, 0xC0000006u}) {
        codes.push_back({unlisted, "   See Win32 API Error Codes.\n", FALSE});
    }
    std::string expected_log;
    std::vector<std::string> expected_events;
    for (BOOL fatal : {FALSE, TRUE}) {
        for (const ErrorExplanation& entry : codes) {
            SetLastError(entry.code);
            report_error(task, fatal, action.c_str());
            std::string message =
                "ERROR " + std::to_string(static_cast<int>(entry.code)) + " in " + action + "\n" + entry.explanation;
            expected_log += "7/3/1996, 9:05 " + message;
            if (entry.code == 21 || entry.code == 23 || entry.code == 26 || entry.code == 1005) {
                expected_events.push_back(event_entry(entry.code, message));
            }
        }
        if (!fatal) {
            EXPECT_EQ(task->state.load(), TaskState::Working);
            EXPECT_TRUE(shown_boxes().empty());
        }
    }
    std::string log = read_file(on_drive_d("routed.log"));
    EXPECT_EQ(log, expected_log);
    EXPECT_NE(log.find("ERROR 32 in " + action + "\n   File sharing violation.\n"), std::string::npos);
    EXPECT_EQ(event_entries(), expected_events);
    EXPECT_EQ(expected_events.size(), 8u);
    EXPECT_EQ(task->error_count.load(), 2 * codes.size());
    EXPECT_EQ(shown_boxes().size(), codes.size());
}

}  // namespace
