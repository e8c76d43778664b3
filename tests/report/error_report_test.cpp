#include <gtest/gtest.h>

#include <filesystem>

#include "report/error_report.h"
#include "report_fixture.h"

namespace {

using ErrorReport = ReportTest;

std::string logged_error(DWORD code, const std::string& action, const char* explanation)
{
    return "7/3/1996, 9:05 ERROR " + std::to_string(code) + " in " + action + "\n" + explanation;
}

TEST_F(ErrorReport, ListedCodeLogsErrorLineAndItsExplanation)
{
    Task* task = make_task("copy");
    SetLastError(ERROR_SHARING_VIOLATION);
    report_error(task, FALSE, "copying C:\\durandex\\SRC.0 to D:\\durandex\\1.0.");
    EXPECT_EQ(read_file(on_drive_d("copy.log")),
              "7/3/1996, 9:05 ERROR 32 in copying C:\\durandex\\SRC.0 to D:\\durandex\\1.0.\n"
              "   File sharing violation.\n");
    EXPECT_EQ(task->error_count.load(), 1u);
    EXPECT_EQ(task->state.load(), Working);
    EXPECT_TRUE(shown_boxes().empty());
}

TEST_F(ErrorReport, CodesOutsideTheTableGetTheGeneralExplanation)
{
    Task* task = make_task("other");
    std::string expected;
    // 4 and 7 lie between listed codes; 0xC0000006 is no Win32 code at all and
    // prints as a signed number.
    for (DWORD code : {4u, 7u, 9999u, 0xC0000006u}) {
        SetLastError(code);
        report_error(task, FALSE, "reading.");
        expected += "7/3/1996, 9:05 ERROR " + std::to_string(static_cast<int>(code)) +
                    " in reading.\n   See Win32 API Error Codes.\n";
    }
    EXPECT_EQ(read_file(on_drive_d("other.log")), expected);
}

TEST_F(ErrorReport, ZeroLastErrorOnlyCountsEvenWhenFatal)
{
    Task* task = make_task("quiet");
    SetLastError(0);
    report_error(task, FALSE, "nothing.");
    SetLastError(0);
    report_error(task, TRUE, "nothing at all.");
    EXPECT_EQ(task->error_count.load(), 2u);
    EXPECT_EQ(task->state.load(), Working);
    EXPECT_FALSE(std::filesystem::exists(on_drive_d("quiet.log")));
    EXPECT_FALSE(std::filesystem::exists(debug_output));
    EXPECT_TRUE(shown_boxes().empty());
    EXPECT_TRUE(event_entries().empty());
}

TEST_F(ErrorReport, FatalReportStopsTaskFromAnyStateAndShowsBoxBeforeLogging)
{
    for (TaskState from : {Working, Paused, Starting}) {
        Task* task = make_task(("fatal" + std::to_string(from)).c_str());
        watched_log = on_drive_d(("fatal" + std::to_string(from) + ".log").c_str());
        task->state.store(from);
        SetLastError(ERROR_DISK_FULL);
        report_error(task, TRUE, "creating task directory.");
        EXPECT_EQ(task->state.load(), Cleanup) << "from state " << from;
        EXPECT_EQ(read_file(watched_log), logged_error(112, "creating task directory.", "   The disk is full.\n"));
    }
    std::vector<ShownBox> boxes = shown_boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (const ShownBox& box : boxes) {
        EXPECT_EQ(box.caption, "Durandex Error");
        EXPECT_EQ(box.text, "ERROR 112 in creating task directory.\n   The disk is full.\n");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
        EXPECT_EQ(box.owner, main_window);
        EXPECT_EQ(box.watched_log_at_show, "") << "log line written before the box";
    }
}

TEST_F(ErrorReport, DriveLevelCodesReachEventLogFatalOrNot)
{
    Task* task = make_task("events");
    std::vector<std::string> expected;
    for (BOOL fatal : {FALSE, TRUE}) {
        for (DWORD code : {21u, 23u, 26u, 1005u}) {
            SetLastError(code);
            report_error(task, fatal, "reading D:\\durandex\\1.0.");
            const ErrorExplanation* entry = nullptr;
            for (const ErrorExplanation& candidate : error_explanations) {
                if (candidate.code == code) {
                    entry = &candidate;
                }
            }
            ASSERT_NE(entry, nullptr);
            expected.push_back(event_entry(code, "ERROR " + std::to_string(code) +
                                                     " in reading D:\\durandex\\1.0.\n" + entry->explanation));
        }
    }
    EXPECT_EQ(event_entries(), expected);
    EXPECT_EQ(shown_boxes().size(), 4u);
}

TEST_F(ErrorReport, OtherCodesStayOutOfEventLog)
{
    Task* task = make_task("noevents");
    for (DWORD code : {2u, 3u, 4u, 5u, 22u, 112u, 1006u, 1112u, 1392u}) {
        SetLastError(code);
        report_error(task, code % 2, "writing.");
    }
    EXPECT_TRUE(event_entries().empty());
    EXPECT_EQ(task->error_count.load(), 9u);
}

// An action text naming long paths must not be cut to a fixed buffer.
TEST_F(ErrorReport, LongActionTextIsLoggedWhole)
{
    Task* task = make_task("long");
    std::string path = "D:\\" + std::string(250, 'p');
    std::string action = "copying " + path + " to " + path + ".";
    SetLastError(ERROR_CRC);
    report_error(task, FALSE, action.c_str());
    std::string message = "ERROR 23 in " + action + "\n   Data Error - Cyclic Redundancy Check <CRC>.\n";
    EXPECT_EQ(read_file(on_drive_d("long.log")), "7/3/1996, 9:05 " + message);
    EXPECT_EQ(event_entries(), std::vector<std::string>{event_entry(23, message)});
}

}  // namespace
