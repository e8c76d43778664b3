#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "engine/run_settings.h"
#include "platform/clock.h"
#include "platform/drive_map.h"
#include "report/run_summary.h"
#include "report_fixture.h"

namespace {

constexpr time_t start_seconds = 836377200;

class RunSummary : public ReportTest {
protected:
    void SetUp() override
    {
        ReportTest::SetUp();
        std::snprintf(run_settings.machine_name, sizeof run_settings.machine_name, "STRESSBOX");
        run_settings.run_start_time = start_seconds;
        run_settings.run_start_local_time = SYSTEMTIME{1996, 7, 3, 3, 9, 0, 0, 0};
        fix_local_time(10, 5);
        clock_fix_time(start_seconds + 3900);
    }

    // Drives C (3 GiB, beyond what 32 bits hold) and D; two tasks, the newest
    // with errors.
    void make_run()
    {
        Drive* c = make_drive("C:\\", "EXT4", "root", 786432, 8, 512);
        Drive* d = make_drive("D:\\", "TMPFS", "", 1000, 1, 4096);
        c->next = d;
        run_settings.drive_list = c;
        Task* clean = make_task("a");
        clean->source_drive = c;
        clean->target_drive = d;
        clean->copy_count.store(17);
        clean->compare_count.store(16);
        Task* failing = make_task("b");
        failing->source_drive = d;
        failing->target_drive = c;
        failing->file_count.store(4);
        failing->copy_count.store(9);
        failing->compare_count.store(8);
        failing->error_count.store(3);
        failing->exception_count.store(1);
        failing->next = clean;
        run_settings.task_list = failing;
    }

    std::string summary() const { return read_file(c_dir / "Durandex.Log"); }

    std::string running_time_after(time_t seconds, DWORD paused)
    {
        clock_fix_time(start_seconds + seconds);
        run_settings.paused_seconds = paused;
        std::filesystem::remove(c_dir / "Durandex.Log");
        write_run_summary(0);
        std::smatch match;
        std::string text = summary();
        if (!std::regex_search(text, match, std::regex("Total Running Time = [^\n]*\n"))) {
            return "no running time line in: " + text;
        }
        return match.str();
    }
};

std::string expected_summary()
{
    return "\nDURANDEX LOG\n"
           "Machine Name: STRESSBOX\n"
           "Windows NT Version: " +
           std::to_string(HIWORD(GetVersion())) +
           "\n"
           "Durandex Version: 3.09.02\n"
           "Start: 7/3/1996, 9:00\n"
           "  End: 7/3/1996, 10:05\n"
           "Total Running Time = 0 Days, 01 Hrs, 05 Mins\n"
           "Total Errors = 3\n"
           "Drive C: is\tEXT4,\t3221225472 total bytes,\troot\n"
           "Drive D: is\tTMPFS,\t4096000 total bytes,\t\n"
           "TASK: D: to C: [4], Copy:9, Comp:8, Err:3, Excp:1\n"
           "  Read D:\\b.log for details on errors.\n"
           "TASK: C: to D: [10], Copy:17, Comp:16, Err:0, Excp:0\n";
}

void expect_task_line_entry(const std::string& entry)
{
    EXPECT_TRUE(std::regex_match(entry, std::regex("source=durandex type=1 category=0 id=0 strings=2\n"
                                                   "durandex error: -?[0-9]+\n"
                                                   "TASK: D: to C: \\[4\\], Copy:9, Comp:8, Err:3, Excp:1\n\n")))
        << entry;
}

bool read_only(const std::filesystem::path& path)
{
    using std::filesystem::perms;
    return (std::filesystem::status(path).permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
           perms::none;
}

TEST_F(RunSummary, WholeSummaryWithDrivesTasksAndTheFailingTasksEntry)
{
    make_run();
    write_run_summary(3);
    EXPECT_EQ(summary(), expected_summary());
    std::vector<std::string> entries = event_entries();
    ASSERT_EQ(entries.size(), 1u);
    expect_task_line_entry(entries[0]);
    EXPECT_TRUE(read_only(c_dir / "Durandex.Log"));
    EXPECT_TRUE(shown_boxes().empty());
}

TEST_F(RunSummary, SecondRunAppendsToTheReadOnlyLog)
{
    make_run();
    write_run_summary(3);
    ASSERT_TRUE(read_only(c_dir / "Durandex.Log"));
    write_run_summary(3);
    EXPECT_EQ(summary(), expected_summary() + expected_summary());
    EXPECT_TRUE(read_only(c_dir / "Durandex.Log"));
    EXPECT_EQ(event_entries().size(), 2u);
}

TEST_F(RunSummary, RunningTimeTakesOffPausesAndDropsSeconds)
{
    EXPECT_EQ(running_time_after(3900, 0), "Total Running Time = 0 Days, 01 Hrs, 05 Mins\n");
    EXPECT_EQ(running_time_after(90061, 0), "Total Running Time = 1 Days, 01 Hrs, 01 Mins\n");
    EXPECT_EQ(running_time_after(3959, 0), "Total Running Time = 0 Days, 01 Hrs, 05 Mins\n");
    EXPECT_EQ(running_time_after(4020, 120), "Total Running Time = 0 Days, 01 Hrs, 05 Mins\n");
    EXPECT_EQ(running_time_after(59, 0), "Total Running Time = 0 Days, 00 Hrs, 00 Mins\n");
    // A clock set back during the run wraps around rather than going negative.
    EXPECT_EQ(running_time_after(-60, 0), "Total Running Time = 49710 Days, 06 Hrs, 27 Mins\n");
}

TEST_F(RunSummary, UnopenableLogStillReportsTasksToTheEventLog)
{
    make_run();
    std::string error;
    std::string only_d = "D=" + d_dir.string();
    ASSERT_TRUE(drive_map_configure(only_d.c_str(), &error)) << error;
    write_run_summary(3);

    std::vector<ShownBox> boxes = shown_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Durandex Log Error");
    EXPECT_EQ(boxes[0].text, "Error opening Log File c:\\Durandex.Log.\nErr# 3");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
    EXPECT_EQ(boxes[0].owner, main_window);
    std::vector<std::string> entries = event_entries();
    ASSERT_EQ(entries.size(), 1u);
    expect_task_line_entry(entries[0]);
    EXPECT_FALSE(std::filesystem::exists(c_dir / "Durandex.Log"));
}

}  // namespace
