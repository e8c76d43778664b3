#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "records/run_settings.h"
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

    // Drives C (3 GiB, beyond what 32 bits hold) and D; two tasks, the newest with errors.
    void make_run()
    {
        Drive* c = make_drive("C:\\", "EXT4", "root", 786432, 8, 512);
        Drive* d = make_drive("D:\\", "TMPFS", "", 1000, 1, 4096);
        c->next = d;
        run_settings.drive_list = c;
        Task* clean = make_task("a");
        clean->source_drive = c;
        clean->target_drive = d;
        set_counts(clean, 17, 16, 0, 0);
        Task* failing = make_task("b");
        failing->source_drive = d;
        failing->target_drive = c;
        failing->file_count.store(4);
        set_counts(failing, 9, 8, 3, 1);
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
        std::regex_search(text, match, std::regex("Total Running Time = [^\n]*\n"));
        return match.str();
    }
};

std::string expected_summary()
{
    return "\nDURANDEX LOG\n"
           "Machine Name: STRESSBOX\n"
           "Windows NT Version: " + std::to_string(HIWORD(GetVersion())) +
           "\nDurandex Version: 3.09.02\n"
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

// Each entry is the failing task's line.
void expect_task_line_entries(const std::vector<std::string>& entries, size_t count)
{
    EXPECT_EQ(entries.size(), count);
    for (const std::string& entry : entries) {
        EXPECT_TRUE(std::regex_match(entry, std::regex("source=durandex type=1 category=0 id=0 strings=2\n"
                                                       "durandex error: -?[0-9]+\n"
                                                       "TASK: D: to C: \\[4\\], Copy:9, Comp:8, Err:3, Excp:1\n\n")))
            << entry;
    }
}

bool read_only(const std::filesystem::path& path)
{
    using std::filesystem::perms;
    return (status(path).permissions() & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none;
}

TEST_F(RunSummary, WholeSummaryThenASecondRunAppendsToTheReadOnlyLog)
{
    make_run();
    write_run_summary(3);
    EXPECT_EQ(summary(), expected_summary());
    expect_task_line_entries(event_entries(), 1);
    EXPECT_TRUE(read_only(c_dir / "Durandex.Log"));
    EXPECT_TRUE(shown_boxes().empty());
    write_run_summary(3);
    EXPECT_EQ(summary(), expected_summary() + expected_summary());
    EXPECT_TRUE(read_only(c_dir / "Durandex.Log"));
    expect_task_line_entries(event_entries(), 2);
    // With drive C unmapped the log cannot be opened; the tasks still reach the event log.
    std::string error;
    ASSERT_TRUE(drive_map_configure(("D=" + d_dir.string()).c_str(), &error)) << error;
    write_run_summary(3);
    expect_boxes(1, "Durandex Log Error", "Error opening Log File c:\\Durandex.Log.\nErr# 3");
    expect_task_line_entries(event_entries(), 3);
    EXPECT_EQ(summary(), expected_summary() + expected_summary());
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

}  // namespace
