// The built program, run headless over temporary drive directories, with
// minutes passing in seconds.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <thread>

#include "program_process.h"

namespace {

class ProgramRun : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment(const std::string& time_scale = "60") const
    {
        return drives_.environment(time_scale);
    }
    std::filesystem::path summary() const { return drives_.drives.at('C') / "Durandex.Log"; }

    // The sum of the task's error counts in the last minute line of `output`.
    static long errors_shown(const std::string& output)
    {
        const size_t last = output.rfind("durandex: ");
        long sum = 0;
        const std::regex count("errors (\\d+)");
        for (std::sregex_iterator at(output.begin() + static_cast<long>(last == std::string::npos ? 0 : last),
                                     output.end(), count), end; at != end; ++at) {
            sum += std::stol((*at)[1]);
        }
        return sum;
    }

    // The run's error total from the last summary in the log; -1 without one.
    int summary_total() const
    {
        const std::string log = read_text_file(summary());
        const size_t at = log.rfind("Total Errors = ");
        return at == std::string::npos ? -1 : std::stoi(log.substr(at + 15));
    }

    // Each drive a tmpfs of `megabytes`, since the copies fill their target;
    // FALSE when not root or the kernel refuses.
    bool mount_small_drives(int megabytes, const std::string& letters = "CDE")
    {
        for (const char letter : letters) {
            const std::filesystem::path& path = drives_.drives.at(letter);
            const std::string mount =
                "mount -t tmpfs -o size=" + std::to_string(megabytes) + "m durandex " + path.string() + " 2>/dev/null";
            if (geteuid() != 0 || system(mount.c_str()) != 0) {
                return false;
            }
            mounted_.push_back(path.string());
        }
        return true;
    }

    void TearDown() override
    {
        for (const std::string& point : mounted_) {
            system(("umount -l " + point).c_str());
        }
    }

    DriveDirectories drives_;
    std::vector<std::string> mounted_;
};

TEST_F(ProgramRun, InvalidCommandLinesEndWith255BeforeAnyWindow)
{
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"/x"}, {"-t30"}, {std::string(300, '1')}}) {
        ProgramProcess program(arguments, environment());
        EXPECT_EQ(program.wait_for_exit(), 255) << arguments[0];
        EXPECT_EQ(program.output(), "");
        EXPECT_NE(program.errors().find("durandex: "), std::string::npos);
    }
    ProgramProcess help({"--help"}, environment());
    EXPECT_EQ(help.wait_for_exit(), 0);
    EXPECT_EQ(help.output().rfind("Usage: durandex [MINUTES] [/a | /c] [/t:MINUTES]\n", 0), 0u);
    ProgramProcess version({"--version"}, environment());
    EXPECT_EQ(version.wait_for_exit(), 0);
    EXPECT_EQ(version.output(), "durandex 3.09.02\n");
}

// Drives that /a or /c cannot pair refuse the command line as an invalid one
// is refused: status 255, the reason alone on standard error, nothing run,
// shown or written.
TEST_F(ProgramRun, AutomaticRunsWithoutDrivesToPairEndWith255AndNothingElse)
{
    auto removable_only = environment();
    removable_only["DURANDEX_DRIVES"] = "C:removable=" + drives_.drives.at('C').string();
    const struct {
        const char* option;
        std::map<std::string, std::string> environment;
        const char* reason;
    } cases[] = {
        {"/c", environment(), "durandex: /c needs a CD-ROM drive to copy from; none was found.\n"},
        {"/a", removable_only, "durandex: /a needs a fixed drive to use as target; none was found.\n"},
    };
    for (const auto& c : cases) {
        ProgramProcess program({c.option}, c.environment);
        EXPECT_EQ(program.wait_for_exit(), 255) << c.option;
        EXPECT_EQ(program.errors(), c.reason);
        EXPECT_EQ(program.output(), "") << c.option;
        EXPECT_FALSE(std::filesystem::exists(summary())) << c.option;
    }
}

TEST_F(ProgramRun, WallClockLimitWithoutStartQuitsCleanWithoutSummary)
{
    ProgramProcess program({"/t:1"}, environment());
    EXPECT_EQ(program.wait_for_exit(), 0);
    EXPECT_FALSE(std::filesystem::exists(summary()));
    EXPECT_NE(program.output().find("durandex: no run was started"), std::string::npos);
}

TEST_F(ProgramRun, InterruptWritesTheSummaryAndASecondInterruptEndsAt130)
{
    {
        ProgramProcess program({"/a"}, environment());
        ASSERT_TRUE(program.wait_for_output("Working")) << program.output() << program.errors();
        program.send_signal(SIGINT);
        EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();
        EXPECT_NE(read_text_file(summary()).find("Total Errors = 0\n"), std::string::npos);
    }
#ifdef __SANITIZE_THREAD__
    // ThreadSanitizer holds signals back until the thread they reach calls
    // into it, which under load can be never within the wait, and may hand
    // two signals sent apart to the program together.
    GTEST_SKIP() << "signals that arrive together or apart are checked in the plain and address-sanitizer builds";
#endif
    {
        // Two signals that arrive together, as from `timeout` or a terminal's
        // Ctrl+C, are one request: both wait in a stopped process.
        ProgramProcess program({"/a"}, environment());
        ASSERT_TRUE(program.wait_for_output("Working"));
        program.send_signal(SIGSTOP);
        program.send_signal(SIGINT);
        program.send_signal(SIGTERM);
        program.send_signal(SIGCONT);
        EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();
        EXPECT_EQ(count_of(read_text_file(summary()), "Total Errors = 0\n"), 2u);
    }
    // A copy that never returns holds Quit up for its wait, in real time.
    ProgramProcess program({"hold", "CopyFileA", "/a"}, environment("1"), DURANDEX_DRIVER);
    ASSERT_TRUE(program.wait_for_output("driver: a call is held")) << program.errors();
    program.send_signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    program.send_signal(SIGINT);
    EXPECT_EQ(program.wait_for_exit(), 130);
}

// `timeout -s INT` signals the program and then its process group: the run
// ends with its summary and its total as status, every time.
TEST_F(ProgramRun, TimeoutsInterruptOnceAndEveryRunEndsWithItsSummary)
{
    if (!mount_small_drives(48)) {
        GTEST_SKIP() << "needs root to mount small tmpfs drives";
    }
    for (int run = 1; run <= 20; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ProgramProcess program({"--preserve-status", "-s", "INT", "2", DURANDEX_BINARY, "/a"}, environment(), "/usr/bin/timeout");
        const int status = program.wait_for_exit();
        ASSERT_EQ(count_of(read_text_file(summary()), "Total Errors = "), static_cast<size_t>(run))
            << "status " << status << "\n" << program.errors();
        EXPECT_EQ(status, summary_total());
        EXPECT_NE(program.output().find("durandex: run summary appended to"), std::string::npos);
    }
}

// A reader of standard output that goes away ends the lines, not the run.
TEST_F(ProgramRun, OutputReaderThatGoesAwayLeavesTheRunToItsSummary)
{
    const bool small = mount_small_drives(48);
    std::string command;
    for (const auto& [name, value] : environment()) {
        command += name + "='" + value + "' ";
    }
    command += "DURANDEX_UI=headless " + std::string(DURANDEX_BINARY) + " /a 2; echo $? >" +
               (drives_.root / "status").string();
    ProgramProcess program({"-c", "(" + command + ") | head -3"}, {}, "/bin/sh");
    EXPECT_EQ(program.wait_for_exit(), 0) << (small ? "" : "(drives on the root filesystem)");
    EXPECT_EQ(count_of(program.output(), "\n"), 3u) << program.output();
    EXPECT_EQ(read_text_file(drives_.root / "status"), "0\n") << program.errors();
    EXPECT_EQ(summary_total(), 0) << program.errors();
}

TEST_F(ProgramRun, SecondInstanceShowsItsBoxAndLeavesTheFirstRunning)
{
    ProgramProcess first({"/a"}, environment());
    ASSERT_TRUE(first.wait_for_output("Working"));
    ProgramProcess second({"/a"}, environment());
    EXPECT_EQ(second.wait_for_exit(), 0);
    EXPECT_NE(second.errors().find("An instance of Durandex is already running."), std::string::npos);
    first.send_signal(SIGHUP);
    EXPECT_EQ(first.wait_for_exit(), 0);
    EXPECT_TRUE(std::filesystem::exists(summary()));
}

TEST_F(ProgramRun, ErrorTotalsPast254ExitWith254)
{
    ProgramProcess program({"fail", "CopyFileA", "100000", "5", "/a"}, environment(), DURANDEX_DRIVER);
    // Quit once a minute line shows more than 254 errors, however fast they come.
    ASSERT_TRUE(wait_until([&] { return errors_shown(program.output()) > 254; }, std::chrono::seconds(120), program_poll))
        << program.output();
    program.send_signal(SIGINT);
    EXPECT_EQ(program.wait_for_exit(), 254) << program.errors();
    const std::string log = read_text_file(summary());
    std::smatch total;
    ASSERT_TRUE(std::regex_search(log, total, std::regex("Total Errors = (\\d+)"))) << log;
    EXPECT_GT(std::stoi(total[1]), 254);
}

TEST_F(ProgramRun, PostedPauseParksEveryWorkerAndQuitWhilePausedEndsTheRun)
{
    ProgramProcess program({"pause-quit", "/a"}, environment("1"), DURANDEX_DRIVER);
    EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();
    EXPECT_NE(program.output().find("driver: every task parked"), std::string::npos);
    EXPECT_NE(read_text_file(summary()).find("Total Errors = 0\n"), std::string::npos);
}

}  // namespace

namespace {

// A drive that vanishes mid-run fails every call for minutes: the errors
// are all counted, but the event log gets each entry once and then at most
// a count a minute.
TEST_F(ProgramRun, VanishedDriveLeavesAFewEventLogEntriesEachFirstInFull)
{
    if (!mount_small_drives(48)) {
        GTEST_SKIP() << "needs root to mount small tmpfs drives";
    }
    ProgramProcess program({"/a"}, environment());
    ASSERT_TRUE(program.wait_for_output("Working")) << program.errors();
    ASSERT_EQ(system(("umount -l " + drives_.drives.at('D').string()).c_str()), 0);
    const auto minutes = [&] { return count_of(program.output(), " MB/s verified; "); };
    const size_t vanished_at = minutes();
    ASSERT_TRUE(wait_until([&] { return minutes() >= vanished_at + 3 && errors_shown(program.output()) > 1000; },
                           std::chrono::seconds(180), program_poll))
        << program.output();
    program.send_signal(SIGINT);
    program.wait_for_exit();
    EXPECT_GT(summary_total(), 1000);

    const std::string log = read_text_file(drives_.root / "events");
    std::vector<std::string> entries;
    for (size_t begin = 0, end; (end = log.find("\n\n", begin)) != std::string::npos; begin = end + 2) {
        entries.push_back(log.substr(begin, end - begin));
    }
    // About seven kinds of report: each first in full, then a count a minute.
    EXPECT_LE(entries.size(), 10 * (minutes() - vanished_at + 1)) << log.substr(0, 4000);
    EXPECT_NE(log.find("durandex error: 21\nERROR 21 in "), std::string::npos) << log.substr(0, 4000);
    // Every count follows an entry of its kind in full: the same code, and
    // the same first line but for its numbers.
    const std::regex count_entry("^(.*\n.*\n)\\d+ more like this since the last logged; the last: (.*)");
    const std::regex full_entry("^(.*\n.*\n)(.*)");
    const auto kind = [](const std::smatch& parts) {
        return parts.str(1) + std::regex_replace(parts.str(2), std::regex("\\d+"), "#");
    };
    std::set<std::string> kinds_in_full;
    size_t counts = 0;
    for (const std::string& entry : entries) {
        std::smatch parts;
        if (std::regex_search(entry, parts, count_entry)) {
            ++counts;
            EXPECT_EQ(kinds_in_full.count(kind(parts)), 1u) << entry;
        } else if (std::regex_search(entry, parts, full_entry)) {
            kinds_in_full.insert(kind(parts));
        }
    }
    EXPECT_GT(counts, 0u) << "the storm lasted minutes, so counts were written";
}

// Quit's harder paths, each from inside the program: a Quit that lands while
// preparation waits in a call, a second Quit, and a worker that never returns.
TEST_F(ProgramRun, QuitInsidePreparationStopsItBeforeAnyWorkerCopies)
{
    mount_small_drives(48);
    ProgramProcess program({"quit-in-preparation", "CreateDirectoryA", "/a"}, environment(), DURANDEX_DRIVER);
    EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();
    EXPECT_NE(program.output().find("driver: a call is held"), std::string::npos) << program.output();
    EXPECT_NE(program.output().find("driver: records released"), std::string::npos) << program.output();
    const std::string log = read_text_file(summary());
    EXPECT_EQ(count_of(log, "Total Errors = 0\n"), 1u) << log;
    EXPECT_EQ(count_of(log, ", Copy:0,"), 3u) << log;
}

TEST_F(ProgramRun, SecondQuitIsIgnoredAndKeepsTheFirstExitStatus)
{
    mount_small_drives(48);
    ProgramProcess program({"fail", "CopyFileA", "3", "5", "quit-twice", "/a"}, environment(), DURANDEX_DRIVER);
    const int status = program.wait_for_exit();
    EXPECT_GT(status, 0) << program.errors();
    EXPECT_EQ(status, summary_total());
    EXPECT_EQ(count_of(read_text_file(summary()), "Total Errors = "), 1u);
    EXPECT_NE(program.output().find("driver: records released"), std::string::npos) << program.output();
}

// A copy worker that never comes back from its copy is abandoned after its
// wait; the run still ends with its summary, and the records it may touch
// are kept.
TEST_F(ProgramRun, WorkerThatNeverReturnsIsAbandonedAndItsRecordsKept)
{
    mount_small_drives(48);
    ProgramProcess program({"hold", "CopyFileA", "/a"}, environment(), DURANDEX_DRIVER);
    ASSERT_TRUE(program.wait_for_output("driver: a call is held")) << program.errors();
    program.send_signal(SIGTERM);
    const int status = program.wait_for_exit();
    EXPECT_EQ(status, summary_total()) << program.errors();
    EXPECT_NE(program.output().find("driver: records kept in use"), std::string::npos) << program.output();
}

// An ISO9660 image mounted with fuseiso is a CD-ROM drive without a type
// given; /c copies its tree to the fixed drive before it until the minutes
// are up.
TEST_F(ProgramRun, CdRunFromAFuseisoDiscEndsByItsMinutesClean)
{
    const std::filesystem::path disc = drives_.root / "disc";
    std::filesystem::create_directories(disc / "tree/sub");
    std::ofstream(disc / "tree/sub/file") << "one line on the disc\n";
    const std::string mount_point = drives_.drives.at('E').string();
    const std::string mount = "genisoimage -quiet -R -o " + (disc / "image").string() + " " + (disc / "tree").string() +
                              " && fuseiso -n " + (disc / "image").string() + " " + mount_point + " >/dev/null 2>&1";
    if (geteuid() != 0 || system(mount.c_str()) != 0) {
        GTEST_SKIP() << "needs root, genisoimage and fuseiso to mount a disc image";
    }
    struct Unmount {
        std::string point;
        ~Unmount() { system(("fusermount -u " + point).c_str()); }
    } unmount{mount_point};
    auto settings = environment();
    settings["DURANDEX_DRIVES"] = "C:fixed=" + drives_.drives.at('C').string() + ";E=" + mount_point;
    ProgramProcess program({"/c", "1"}, settings);
    ASSERT_EQ(program.wait_for_exit(), 0) << program.errors();
    const std::string log = read_text_file(summary());
    EXPECT_TRUE(std::regex_search(log, std::regex("Total Errors = 0\n"))) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("TASK: E: to C: "))) << log;
}

// A target remounted read-only refuses every call: the error counts go on
// rising, but standard error gets each box once and then a count a minute.
TEST_F(ProgramRun, ReadOnlyTargetKeepsCountingWithoutFloodingStandardError)
{
    // Room for the copies' lead: a target already full when it turns
    // read-only would only wait for room, refused nothing.
    if (!mount_small_drives(256, "D") || !mount_small_drives(48, "CE")) {
        GTEST_SKIP() << "needs root to mount tmpfs drives";
    }
    const std::string target = drives_.drives.at('D').string();
    ProgramProcess program({"/a"}, environment());
    // Once copies land on D and on E, D's own sources and its task directory
    // are in place, and the copies are still far from filling D: the first
    // status line, a minute in, can come when they have.
    const auto copies_made_on = [&](char letter) {
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator at(drives_.drives.at(letter), error), end;
             !error && at != end; at.increment(error)) {
            if (at->path().parent_path().extension() == ".dir") {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(wait_until([&] { return copies_made_on('D') && copies_made_on('E'); }, std::chrono::seconds(60),
                           program_poll))
        << program.errors();
    // Refused while a copy is open for writing: taken between two copies.
    const std::string remount = "mount -o remount,ro " + target + " 2>/dev/null";
    ASSERT_TRUE(wait_until([&] { return system(remount.c_str()) == 0; }, std::chrono::seconds(60), program_poll));
    const auto count = [](const std::string& text, const std::string& what) {
        return static_cast<long>(count_of(text, what));
    };
    const auto minutes = [&] { return count(program.output(), " MB/s verified; "); };
    const long errors_before = count(program.errors(), "\n");
    const long minutes_before = minutes();
    // Minutes of refusals, however slowly a loaded machine makes them.
    ASSERT_TRUE(wait_until([&] { return minutes() >= minutes_before + 5 && errors_shown(program.output()) > 1000; },
                           std::chrono::minutes(4), program_poll))
        << program.output();
    program.send_signal(SIGINT);
    program.wait_for_exit();
    EXPECT_LT(count(program.errors(), "\n") - errors_before, 100 * (minutes() - minutes_before + 1))
        << program.errors();
    EXPECT_GT(summary_total(), 1000) << "the refusals are still counted";
}

}  // namespace
