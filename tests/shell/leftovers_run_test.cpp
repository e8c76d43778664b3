// What a killed run leaves on its drives is cleaned by the next run, which
// names it; what a live run is using is left alone.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <regex>

#include "program_process.h"

namespace {

class LeftoversRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (char letter : {'C', 'D'}) {
            const std::string point = drives_.drives.at(letter).string();
            if (geteuid() != 0 || mount("durandex-test", point.c_str(), "tmpfs", 0, "size=48m") != 0) {
                GTEST_SKIP() << "needs root to mount a tmpfs for each drive";
            }
            mounts_.push_back(point);
        }
    }
    void TearDown() override
    {
        for (const std::string& point : mounts_) {
            umount2(point.c_str(), MNT_DETACH);
        }
    }
    std::map<std::string, std::string> environment(const std::string& lock = "lock") const
    {
        std::filesystem::create_directories(drives_.root / lock);
        return {{"DURANDEX_DRIVES", "C:fixed=" + mounts_[0] + ";D:fixed=" + mounts_[1]},
                {"DURANDEX_TIME_SCALE", "60"},
                {"DURANDEX_INSTANCE", (drives_.root / lock).string()},
                {"DURANDEX_REGISTRY", (drives_.root / "registry").string()},
                {"DURANDEX_EVENT_LOG", (drives_.root / "events").string()}};
    }
    // The task directories on the drives, relative to the root.
    std::vector<std::string> task_directories() const
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(drives_.root)) {
            if (entry.is_directory() && entry.path().extension() == ".dir") {
                found.push_back(std::filesystem::relative(entry.path(), drives_.root).string());
            }
        }
        return found;
    }
    bool copies_exist() const
    {
        const std::vector<std::string> files = drives_.files();
        return std::any_of(files.begin(), files.end(),
                           [](const std::string& file) { return file.find(".dir/") != std::string::npos; });
    }
    DriveDirectories drives_;
    std::vector<std::string> mounts_;
};

TEST_F(LeftoversRun, AKilledRunsCopiesAreRemovedByTheNextRunWhichNamesEachDirectory)
{
    {
        ProgramProcess killed({"/a"}, environment());
        ASSERT_TRUE(wait_until([&] { return copies_exist(); }, std::chrono::seconds(60), program_poll))
            << killed.errors();
        killed.send_signal(SIGKILL);
        EXPECT_EQ(killed.wait_for_exit(), 128 + SIGKILL);
    }
    std::vector<std::string> left = task_directories();
    ASSERT_EQ(left.size(), 2u);
    // One copy found bad (read-only) and a file that no worker makes: both stay.
    if (std::filesystem::is_empty(drives_.root / left[0])) {
        std::swap(left[0], left[1]);
    }
    const std::filesystem::path evidence_directory = drives_.root / left[0];
    ASSERT_FALSE(std::filesystem::is_empty(evidence_directory));
    const std::filesystem::path bad_copy = std::filesystem::directory_iterator(evidence_directory)->path();
    std::filesystem::permissions(bad_copy, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    std::ofstream(evidence_directory / "notes") << "not a copy";
    size_t copies = 0;
    for (const std::string& directory : left) {
        copies += std::distance(std::filesystem::directory_iterator(drives_.root / directory),
                                std::filesystem::directory_iterator());
    }
    --copies;  // the notes
    std::vector<std::string> logs_before;
    for (const std::string& file : drives_.files()) {
        if (file.find("/log") != std::string::npos || file.find("/tim") != std::string::npos) {
            logs_before.push_back(file);
        }
    }

    ProgramProcess next({"/a", "1"}, environment());
    EXPECT_EQ(next.wait_for_exit(), 0) << next.errors();
    const std::string errors = next.errors();
    const std::regex evidence_line("durandex: cleaned leftover task directory [CD]:\\\\durandex\\\\[^\\\\]+\\\\" +
                                   evidence_directory.filename().string() + " \\(" + evidence_directory.string() +
                                   "\\): ([0-9]+) copies removed, 1 read-only copies kept, directory kept\\.");
    const std::regex emptied_line("durandex: cleaned leftover task directory .*" +
                                  std::filesystem::path(left[1]).filename().string() +
                                  " .*: ([0-9]+) copies removed, 0 read-only copies kept, directory removed\\.");
    std::smatch evidence;
    std::smatch emptied;
    ASSERT_TRUE(std::regex_search(errors, evidence, evidence_line)) << errors;
    ASSERT_TRUE(std::regex_search(errors, emptied, emptied_line)) << errors;
    EXPECT_EQ(std::stoul(evidence[1]) + std::stoul(emptied[1]) + 1, copies) << errors;
    EXPECT_EQ(task_directories(), std::vector<std::string>{left[0]});
    std::vector<std::string> remaining;
    for (const auto& entry : std::filesystem::directory_iterator(evidence_directory)) {
        remaining.push_back(entry.path().filename().string());
    }
    std::sort(remaining.begin(), remaining.end());
    EXPECT_EQ(remaining, (std::vector<std::string>{bad_copy.filename().string(), "notes"}));
    for (const std::string& log : logs_before) {
        EXPECT_TRUE(std::filesystem::exists(drives_.root / log)) << log << " is kept";
    }
}

// Two instances that do not see each other (another instance directory) on
// the same drives: the second takes nothing of the first's for left over.
TEST_F(LeftoversRun, ALiveRunsTaskDirectoriesAreLeftAlone)
{
    ProgramProcess live({"/a"}, environment("lock-live"));
    ASSERT_TRUE(wait_until([&] { return copies_exist(); }, std::chrono::seconds(60), program_poll)) << live.errors();
    const std::vector<std::string> live_directories = task_directories();
    ProgramProcess other({"/a", "1"}, environment("lock-other"));
    other.wait_for_exit();
    EXPECT_EQ(other.errors().find("leftover"), std::string::npos) << other.errors();
    for (const std::string& directory : live_directories) {
        EXPECT_TRUE(std::filesystem::exists(drives_.root / directory)) << directory;
    }
    live.send_signal(SIGINT);
    // Both runs fill the same drives, so the live one may meet a full target;
    // it still ends with its summary, the last one appended.
    const int status = live.wait_for_exit();
    const std::string summaries = read_text_file(drives_.drives.at('C') / "Durandex.Log");
    const size_t last = summaries.rfind("Total Errors = ");
    ASSERT_NE(last, std::string::npos) << summaries;
    EXPECT_EQ(status, std::min(std::stoi(summaries.substr(last + 15)), 254)) << live.errors();
}

}  // namespace
