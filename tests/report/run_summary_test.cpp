#include <regex>

#include "report/run_summary.h"
#include "report_fixture.h"

namespace {

constexpr time_t start_seconds = 836377200;

// Drives C (3 GiB, beyond what 32 bits hold) and D; two tasks, the newest
// with errors; the run started at 9:00 and it is 10:05.
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
        run_settings.drive_list = &c;
        Task* clean = make_task("a", 17, 16, 0, 0);
        clean->source_drive = &c;
        clean->target_drive = &d;
        Task* failing = make_task("b", 9, 8, 3, 1);
        failing->source_drive = &d;
        failing->target_drive = &c;
        failing->file_count = 4;
        failing->next = clean;
        run_settings.task_list = failing;
    }

    // Root, dir, type, tasks, button, volume, file system, sectors per cluster, bytes per sector, free, total, next.
    Drive d{"D:\\", {}, 0, {}, 0, "", "TMPFS", {1}, {4096}, {}, {1000}, nullptr};
    Drive c{"C:\\", {}, 0, {}, 0, "root", "EXT4", {8}, {512}, {}, {786432}, &d};
};

const std::string whole_summary = "\nDURANDEX LOG\nMachine Name: STRESSBOX\nWindows NT Version: " +
                                  std::to_string(HIWORD(GetVersion())) +
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

// Each run appends to the read-only log and sends the failing task's line to
// the event log, which it still reaches when drive C is unmapped.
TEST_F(RunSummary, WholeSummaryThenASecondRunAppendsToTheReadOnlyLog)
{
    const std::regex task_entry("source=durandex type=1 category=0 id=0 strings=2\ndurandex error: -?[0-9]+\n"
                                "TASK: D: to C: \\[4\\], Copy:9, Comp:8, Err:3, Excp:1\n\n");
    for (size_t run = 1; run <= 3; ++run) {
        if (run == 3) {
            std::string error;
            ASSERT_TRUE(drive_map_configure(("D=" + d_dir.string()).c_str(), &error)) << error;
        }
        // Without drive C the summary has nowhere to go, and says so.
        EXPECT_EQ(write_run_summary(3), run != 3);
        EXPECT_EQ(run_summary_written(), run != 3);
        EXPECT_EQ(read_text_file(c_dir / "Durandex.Log"), run == 1 ? whole_summary : whole_summary + whole_summary) << run;
        EXPECT_EQ(status(c_dir / "Durandex.Log").permissions() & std::filesystem::perms::owner_write,
                  std::filesystem::perms::none);
        std::vector<std::string> entries = event_entries();
        EXPECT_EQ(entries.size(), run);
        for (const std::string& entry : entries) {
            EXPECT_TRUE(std::regex_match(entry, task_entry)) << entry;
        }
    }
    EXPECT_EQ(boxes, std::vector<std::string>{"Durandex Log Error|Error opening Log File c:\\Durandex.Log.\nErr# 3"});
}

TEST_F(RunSummary, RunningTimeTakesOffPausesAndWrapsOnAClockSetBack)
{
    const struct { time_t seconds; DWORD paused; const char* line; } cases[] = {
        {4020, 120, "Total Running Time = 0 Days, 01 Hrs, 05 Mins\n"},
        // A clock set back during the run wraps around rather than going negative.
        {-60, 0, "Total Running Time = 49710 Days, 06 Hrs, 27 Mins\n"},
    };
    for (const auto& run : cases) {
        clock_fix_time(start_seconds + run.seconds);
        run_settings.paused_seconds = run.paused;
        std::filesystem::remove(c_dir / "Durandex.Log");
        write_run_summary(0);
        EXPECT_NE(read_text_file(c_dir / "Durandex.Log").find(run.line), std::string::npos) << run.seconds;
    }
}

}  // namespace
