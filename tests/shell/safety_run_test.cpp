// The built program on a shared machine: settings that cannot be used stop
// it before anything runs, one instance runs however many start together,
// and other users' links and locks neither redirect nor stop it.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "program_process.h"
#include "tests/other_user.h"

namespace {

class SafetyRun : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment(const std::string& time_scale = "60") const
    {
        return drives_.environment(time_scale);
    }
    DriveDirectories drives_;
};

TEST_F(SafetyRun, EachUnusableSettingIsNamedOnStandardErrorAndEndsWith255BeforeAnythingRuns)
{
    const std::string root = drives_.root.string();
    const std::string fifo = root + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream(root + "/plain") << "a file";
    std::filesystem::create_directory(root + "/open-lock");
    std::filesystem::permissions(root + "/open-lock", std::filesystem::perms::all);
    struct Case { const char* variable; std::string value; std::string named; };
    const std::vector<Case> cases = {
        {"DURANDEX_DRIVES", "C=/nonexistent;D=" + root + "/D", "DURANDEX_DRIVES: drive C: /nonexistent does not exist"},
        {"DURANDEX_DRIVES", "C=" + root + "/plain", "drive C: " + root + "/plain is not a directory"},
        {"DURANDEX_TIME_SCALE", "0.0001",
         "DURANDEX_TIME_SCALE: malformed value \"0.0001\": expected a number from 0.001 to 1000"},
        {"DURANDEX_DEBUG_OUTPUT", fifo, "DURANDEX_DEBUG_OUTPUT: cannot use \"" + fifo + "\": a FIFO that nobody reads"},
        {"DURANDEX_DEBUG_OUTPUT", root + "/missing/debug",
         "DURANDEX_DEBUG_OUTPUT: cannot use \"" + root + "/missing/debug\""},
        {"DURANDEX_EVENT_LOG", root + "/C", "DURANDEX_EVENT_LOG: cannot use \"" + root + "/C\""},
        {"DURANDEX_REGISTRY", root + "/plain", "DURANDEX_REGISTRY: cannot use \"" + root + "/plain\": not a directory"},
        {"DURANDEX_INSTANCE", root + "/missing", "DURANDEX_INSTANCE: cannot use \"" + root + "/missing\""},
        {"DURANDEX_INSTANCE", root + "/open-lock", "open to other users (mode 0777)"},
        {"DURANDEX_UI", "window", "DURANDEX_UI: malformed value \"window\""},
        {"DURANDEX_CACHED_READS", "yes", "DURANDEX_CACHED_READS: malformed value \"yes\""},
    };
    for (const Case& bad : cases) {
        SCOPED_TRACE(std::string(bad.variable) + "=" + bad.value);
        auto settings = environment();
        settings[bad.variable] = bad.value;
        ProgramProcess program({"/a", "1"}, settings);
        EXPECT_EQ(program.wait_for_exit(), 255);
        EXPECT_NE(program.errors().find(bad.named), std::string::npos) << program.errors();
        EXPECT_EQ(program.output(), "");
    }
    // /a without a drive map of the operator's would take every mounted filesystem.
    auto settings = environment();
    settings.erase("DURANDEX_DRIVES");
    for (const char* automatic : {"/a", "/c"}) {
        ProgramProcess program({automatic}, settings);
        EXPECT_EQ(program.wait_for_exit(), 255);
        EXPECT_NE(program.errors().find("/a and /c start without anyone choosing drives, so they need DURANDEX_DRIVES"),
                  std::string::npos)
            << program.errors();
    }
    EXPECT_FALSE(std::filesystem::exists(drives_.drives.at('C') / "durandex"));
}

// Both programs of a pair ask for the instance at once; exactly one shows the
// box and the other goes on running until it is stopped.
TEST_F(SafetyRun, TwentyPairsStartedTogetherRunOneInstanceEachTime)
{
    const std::string box = "An instance of Durandex is already running.";
    int single_runs = 0;
    for (int pair = 0; pair < 20; ++pair) {
        SCOPED_TRACE(pair);
        ProgramProcess first({"/t:5"}, environment());
        ProgramProcess second({"/t:5"}, environment());
        ASSERT_TRUE(wait_until([&] { return first.errors().find(box) != std::string::npos ||
                                            second.errors().find(box) != std::string::npos; },
                               std::chrono::seconds(60), program_poll))
            << "neither was turned away: " << first.output() << second.output();
        const bool first_lost = first.errors().find(box) != std::string::npos;
        ProgramProcess& loser = first_lost ? first : second;
        ProgramProcess& winner = first_lost ? second : first;
        EXPECT_EQ(loser.wait_for_exit(), 0);
        EXPECT_EQ(winner.errors().find(box), std::string::npos);
        winner.send_signal(SIGKILL);
        winner.wait_for_exit();
        single_runs += winner.errors().find(box) == std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(single_runs, 20);
}

TEST_F(SafetyRun, AnotherUsersLockOnTheOldNameDoesNotStopARunAndALinkAtTheLockIsNotFollowed)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    // The lock's old place, open to everyone: another user holds it.
    std::filesystem::create_directories("/run/lock");
    const std::string old_name = "/run/lock/DurandexWClass_Durandex-32e0b31d100a308a.lock";
    const bool planted = !std::filesystem::exists(old_name);
    struct Removal {
        std::string path;
        bool wanted;
        ~Removal() { wanted && unlink(path.c_str()); }
    } removal{old_name, planted};
    pid_t holder = 0;
    struct Release {
        const pid_t& holder;
        ~Release() { holder > 0 && kill(holder, SIGKILL) == 0 && waitpid(holder, nullptr, 0) > 0; }
    } release{holder};
    ASSERT_TRUE(as_other_user(
        [&] {
            const int descriptor = open(old_name.c_str(), O_RDONLY | O_CREAT, 0666);
            return descriptor >= 0 && flock(descriptor, LOCK_EX | LOCK_NB) == 0;
        },
        &holder));
    auto settings = environment();
    settings.erase("DURANDEX_INSTANCE");
    {
        ProgramProcess program({"/t:1"}, settings);
        EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();
        EXPECT_NE(program.output().find("durandex: no run was started"), std::string::npos) << program.errors();
        EXPECT_EQ(program.errors().find("already running"), std::string::npos);
    }
    struct stat status {};
    ASSERT_EQ(lstat("/run/durandex", &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode) && status.st_uid == 0 && (status.st_mode & 077) == 0) << status.st_mode;

    // A link where the lock would be: not followed, and the start refused.
    const std::filesystem::path lock_directory = drives_.root / "lock";
    {
        ProgramProcess program({"/t:1"}, environment());
        ASSERT_EQ(program.wait_for_exit(), 0) << program.errors();
    }
    std::vector<std::filesystem::path> locks;
    for (const auto& entry : std::filesystem::directory_iterator(lock_directory)) {
        locks.push_back(entry.path());
    }
    ASSERT_EQ(locks.size(), 1u);
    std::filesystem::remove(locks[0]);
    const std::filesystem::path elsewhere = drives_.root / "made-through-the-link";
    std::filesystem::create_symlink(elsewhere, locks[0]);
    ProgramProcess program({"/t:1"}, environment());
    EXPECT_EQ(program.wait_for_exit(), 255);
    EXPECT_NE(program.errors().find("durandex: the single-instance lock cannot be taken"), std::string::npos)
        << program.errors();
    EXPECT_FALSE(std::filesystem::exists(elsewhere));
}

// Another user prepares a shared scratch drive (mode 1777): our directories
// with a link to root's file as a source file, and a link to another as the
// summary. The first run refuses the drive by name; without the planted
// directories the run works, and the summary is not written through the link.
TEST_F(SafetyRun, LinksPlantedByAnotherUserOnASharedDriveChangeNoForeignByte)
{
    const std::string shared = drives_.root.string() + "/shared";
    if (geteuid() != 0 || mkdir(shared.c_str(), 0) != 0 ||
        mount("durandex-test", shared.c_str(), "tmpfs", 0, "size=96m,mode=1777") != 0) {
        GTEST_SKIP() << "needs root to mount a tmpfs and act as another user";
    }
    struct Unmount {
        std::string point;
        ~Unmount() { umount2(point.c_str(), MNT_DETACH); }
    } unmount{shared};
    chmod(drives_.root.c_str(), 0755);
    auto settings = environment();
    settings["DURANDEX_DRIVES"] = "C:fixed=" + shared + ";D:fixed=" + drives_.drives.at('D').string();
    const std::string victims[] = {drives_.root.string() + "/victim1", drives_.root.string() + "/victim2"};
    for (const std::string& victim : victims) {
        std::ofstream(victim) << "root's bytes";
    }
    const auto victim_state = [&] {
        std::string state;
        for (const std::string& victim : victims) {
            struct stat status {};
            stat(victim.c_str(), &status);
            state += read_text_file(victim) + std::to_string(status.st_mode) + ";";
        }
        return state;
    };
    const std::string before = victim_state();
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const std::string machine = shared + "/durandex/" + std::string(host).substr(0, 8);
    ASSERT_TRUE(as_other_user([&] {
        return mkdir((shared + "/durandex").c_str(), 0777) == 0 && chmod((shared + "/durandex").c_str(), 0777) == 0 &&
               mkdir(machine.c_str(), 0777) == 0 && chmod(machine.c_str(), 0777) == 0 &&
               symlink(victims[0].c_str(), (machine + "/SRC.0").c_str()) == 0 &&
               symlink(victims[1].c_str(), (shared + "/Durandex.Log").c_str()) == 0;
    }));
    {
        ProgramProcess program({"/a", "1"}, settings);
        EXPECT_EQ(program.wait_for_exit(), 255);
        EXPECT_NE(program.errors().find("DURANDEX_DRIVES: drive C: " + shared + "/durandex belongs to user 65534"),
                  std::string::npos)
            << program.errors();
    }
    std::filesystem::remove_all(shared + "/durandex");
    ProgramProcess program({"/a", "1"}, settings);
    EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();
    EXPECT_NE(program.errors().find("Error opening Log File c:\\Durandex.Log.\nErr# 1920"), std::string::npos)
        << program.errors();
    EXPECT_NE(program.output().find("durandex: the run summary could not be written to " + shared + "/Durandex.Log"),
              std::string::npos)
        << program.output();
    EXPECT_EQ(program.output().find("run summary appended"), std::string::npos);
    EXPECT_EQ(victim_state(), before);
    struct stat made {};
    ASSERT_EQ(stat(machine.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 022, 0u) << "directories the program makes are closed to others' writes";
}

}  // namespace
