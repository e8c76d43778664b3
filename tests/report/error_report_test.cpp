#include "report/error_report.h"
#include "report_fixture.h"

namespace {

using ErrorReport = ReportTest;

// A last error of 0 only counts, even when fatal; a fatal report stops its
// task from any state and shows its box before it logs.
TEST_F(ErrorReport, FatalReportStopsTaskFromAnyStateAndShowsBoxBeforeLogging)
{
    std::vector<std::string> shown;
    for (TaskState from : {TaskState::Working, TaskState::Paused, TaskState::Starting}) {
        std::string name = "fatal" + std::to_string(static_cast<DWORD>(from));
        Task* task = make_task(name.c_str());
        const std::filesystem::path log = d_dir / (name + ".log");
        set_message_box_observer([&](HWND, const char* text, const char* caption, UINT) {
            shown.push_back(std::string(caption) + "|" + text + "|" + read_text_file(log));
        });
        task->state.store(from);
        SetLastError(0);
        report_error(task, TRUE, "nothing.");
        EXPECT_EQ(task->state.load(), from);
        SetLastError(ERROR_DISK_FULL);
        report_error(task, TRUE, "creating task directory.");
        EXPECT_EQ(task->state.load(), TaskState::Cleanup) << task_state_word(from);
        EXPECT_EQ(task->error_count.load(), 2u);
        EXPECT_EQ(read_text_file(log), "7/3/1996, 9:05 ERROR 112 in creating task directory.\n   The disk is full.\n");
    }
    EXPECT_EQ(shown, std::vector<std::string>(3, "Durandex Error|ERROR 112 in creating task directory.\n   The disk is full.\n|"));
    EXPECT_TRUE(event_entries().empty());
}

// Listed codes with and without an event log entry, and unlisted ones (7 lies
// between listed codes; 0xC0000006 is no Win32 code and prints signed), fatal
// or not, with an action naming long paths that must not be cut.
TEST_F(ErrorReport, EachCodeLogsTwoLinesAndOnlyDriveLevelOnesReachEventLog)
{
    const struct { DWORD code; const char* explanation; bool to_event_log; } codes[] = {
        {23, "ERROR 23 in %s\n   Data Error - Cyclic Redundancy Check <CRC>.\n", true},
        {32, "ERROR 32 in %s\n   File sharing violation.\n", false},
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
            std::string message = entry.explanation;
            message.replace(message.find("%s"), 2, action);
            expected_log += "7/3/1996, 9:05 " + message;
            // The same entry again within the minute is held back.
            if (entry.to_event_log && !fatal) {
                expected_events.push_back(event_entry(entry.code, message));
            }
        }
        EXPECT_EQ(boxes.size(), fatal ? std::size(codes) : 0u);
        EXPECT_EQ(task->state.load(), fatal ? TaskState::Cleanup : TaskState::Working);
    }
    EXPECT_EQ(read_text_file(d_dir / "routed.log"), expected_log);
    EXPECT_EQ(event_entries(), expected_events);
    EXPECT_EQ(task->error_count.load(), 2 * std::size(codes));
}

}  // namespace
