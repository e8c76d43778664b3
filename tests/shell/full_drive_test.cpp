// A run whose copies have filled a real filesystem: Quit must clear every
// uncompared copy, however many, and the run must still end with its summary.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <thread>
#include <vector>

#include "program_process.h"

namespace {

unsigned long long used_bytes(const std::filesystem::path& mount_point)
{
    struct statvfs status {};
    statvfs(mount_point.c_str(), &status);
    return static_cast<unsigned long long>(status.f_blocks - status.f_bfree) * status.f_frsize;
}

unsigned long long free_bytes(const std::filesystem::path& mount_point)
{
    struct statvfs status {};
    statvfs(mount_point.c_str(), &status);
    return static_cast<unsigned long long>(status.f_bavail) * status.f_frsize;
}

size_t files_under(const std::filesystem::path& directory)
{
    size_t count = 0;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator at(directory, error), end; !error && at != end;
         at.increment(error)) {
        count += at->is_regular_file() ? 1 : 0;
    }
    return count;
}

// After the run: the sources, the summary and, after errors, the task logs.
void expect_only_sources_and_records_left(const std::vector<std::filesystem::path>& drives, int status)
{
    for (const std::filesystem::path& drive : drives) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(drive)) {
            const std::string name = entry.path().filename().string();
            const bool kept = !entry.is_regular_file() || name == "Durandex.Log" || name.rfind("SRC.", 0) == 0 ||
                              name == "lost+found" || (status != 0 && name.rfind("log", 0) == 0);
            EXPECT_TRUE(kept) << entry.path();
        }
    }
}

// The run's own settings beside the drive map.
std::map<std::string, std::string> run_environment(const DriveDirectories& drives, const std::string& map)
{
    return {{"DURANDEX_DRIVES", map},
            {"DURANDEX_INSTANCE", (drives.root / "lock").string()},
            {"DURANDEX_REGISTRY", (drives.root / "registry").string()},
            {"DURANDEX_EVENT_LOG", (drives.root / "events").string()}};
}

// A slow disk: one process's reads from the device under a mount point are
// held to a rate by the kernel's block I/O throttle, in a control group of
// its own (cgroup v1 blkio, else v2 io). The group is removed when this ends,
// which must be after the process has ended.
class SlowReads {
public:
    // An empty text when the limit is in force, else why it is not.
    std::string limit(const std::filesystem::path& mount_point, pid_t process, unsigned long long bytes_per_second)
    {
        struct stat status {};
        stat(mount_point.c_str(), &status);
        const std::string device = std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
        const std::string name = "durandex-slow-reads-" + std::to_string(process);
        const std::string rate = std::to_string(bytes_per_second);
        if (enter("/sys/fs/cgroup/blkio/" + name, "blkio.throttle.read_bps_device", device + " " + rate, process)) {
            return "";
        }
        const bool io_enabled = write("/sys/fs/cgroup/cgroup.subtree_control", "+io");
        if (io_enabled && enter("/sys/fs/cgroup/" + name, "io.max", device + " rbps=" + rate, process)) {
            return "";
        }
        return "needs root and a block I/O controller (cgroup v1 blkio or v2 io) to slow the reads of " + device;
    }
    ~SlowReads()
    {
        if (!group_.empty()) {
            rmdir(group_.c_str());
        }
    }

private:
    static bool write(const std::filesystem::path& file, const std::string& text)
    {
        std::ofstream out(file);
        out << text << std::flush;
        return out.good();
    }
    bool enter(const std::filesystem::path& group, const std::string& limit_file, const std::string& limit,
               pid_t process)
    {
        if (mkdir(group.c_str(), 0755) != 0) {
            return false;
        }
        group_ = group;
        const bool entered = write(group / limit_file, limit) && write(group / "cgroup.procs", std::to_string(process));
        if (!entered) {
            rmdir(group.c_str());
            group_.clear();
        }
        return entered;
    }
    std::filesystem::path group_;
};

// C is a 64 KiB tmpfs, so the ring's task C -> D copies four small source
// files an iteration; D is ext4 on a loop image with inodes to spare. The
// copies fill D's free space while the compare worker lags behind, and an
// interrupt then ends the run: the copies are announced, all deleted, and
// only the sources and the summary remain.
TEST(FullDrive, QuitOnAFullExt4TargetRemovesTwentyThousandCopiesAndEndsWithItsSummary)
{
    DriveDirectories drives;
    const std::filesystem::path source = drives.drives.at('C'), target = drives.drives.at('D');
    const std::filesystem::path image = drives.root / "D.img";
    const std::string tmpfs = "umount -l " + source.string() + " " + target.string() +
                              " 2>/dev/null; mount -t tmpfs -o size=64k durandex " + source.string();
    if (system(tmpfs.c_str()) != 0) {
        GTEST_SKIP() << "needs root to mount a tmpfs: " << tmpfs;
    }
    if (const std::string refusal = loop_mount_ext4(image.string(), target.string(), "112M", "-N 32000");
        !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    const Unmount unmount{"umount -l " + source.string() + " " + target.string()};
    const unsigned long long free_before = free_bytes(target);
    ProgramProcess program({"/a", "600"},
                           run_environment(drives, "C:fixed=" + source.string() + ";D:fixed=" + target.string()));
    ASSERT_TRUE(wait_until([&] { return used_bytes(target) >= free_before * 9 / 10; }, std::chrono::seconds(240),
                           program_poll))
        << used_bytes(target) << " bytes used\n" << program.errors();
    ASSERT_GE(files_under(target), 20000u);
    program.send_signal(SIGINT);
    const int status = program.wait_for_exit();

    std::smatch removing;
    const std::string output = program.output();
    ASSERT_TRUE(std::regex_search(output, removing, std::regex("C:->D: removing up to (\\d+) uncompared copies")))
        << output;
    EXPECT_GE(std::stoul(removing[1]), 20000u);
    const std::string summary = read_text_file(source / "Durandex.Log");
    std::smatch total;
    ASSERT_TRUE(std::regex_search(summary, total, std::regex("Total Errors = (\\d+)\n"))) << summary;
    EXPECT_EQ(status, std::min(std::stoi(total[1]), 254)) << summary;
    expect_only_sources_and_records_left({source, target}, status);
}

// One task, C -> C, on ext4 whose reads are slow: the comparisons, which
// read every byte back from the drive, lag, and the copies run ahead until
// the target keeps only the room the copy worker leaves, two sets of source
// files, and they stay there without a failed write. At Quit the copies
// lead the comparisons by the iterations that fit, and every one of them is
// removed; nothing counts as an error.
TEST(FullDrive, OnASlowDiskOneTasksCopiesStayAtTheCopyWorkersRoomAndQuitClearsThem)
{
    DriveDirectories drives;
    const std::filesystem::path target = drives.drives.at('C'), image = drives.root / "C.img";
    system(("umount -l " + target.string() + " 2>/dev/null").c_str());
    if (const std::string refusal = loop_mount_ext4(image.string(), target.string(), "128M"); !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    const Unmount unmount{"umount -l " + target.string()};
    constexpr unsigned long long set = 5907712;  // the ten source files
    const unsigned long long free_before = free_bytes(target);
    SlowReads slow_reads;
    ProgramProcess program({"/a", "600"}, run_environment(drives, "C:fixed=" + target.string()));
    // 8 MB/s lets at most one comparison through in about a second and a half.
    if (const std::string refusal = slow_reads.limit(target, program.pid(), 8000000); !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    ASSERT_TRUE(wait_until([&] { return free_bytes(target) < 3 * set; }, std::chrono::seconds(240), program_poll))
        << free_bytes(target) << " bytes free\n" << program.errors();
    for (int sample = 0; sample < 10; ++sample) {
        EXPECT_LT(free_bytes(target), 5 * set) << "sample " << sample;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    program.send_signal(SIGINT);
    EXPECT_EQ(program.wait_for_exit(), 0) << program.errors();

    const std::string summary = read_text_file(target / "Durandex.Log");
    std::smatch counts;
    ASSERT_TRUE(std::regex_search(summary, counts, std::regex("Copy:(\\d+), Comp:(\\d+), Err:0,"))) << summary;
    const long long lead = std::stoll(counts[1]) - std::stoll(counts[2]);
    // The sources take one set and the copy worker leaves two free. Where
    // the interrupt falls between a deletion and the next copy, and the
    // filesystem's own reservations for pending writes, move the lead by a
    // few iterations; never above what fits.
    const auto fit = static_cast<long long>(free_before / set) - 3;
    EXPECT_GE(lead, fit * 85 / 100) << summary;
    EXPECT_LE(lead, fit + 2) << summary;
    expect_only_sources_and_records_left({target}, 0);
}

}  // namespace
