// A run whose copies have filled a real filesystem: Quit must clear every
// uncompared copy, however many, and the run must still end with its summary.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>

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
    const std::string make = "umount -l " + source.string() + " " + target.string() +
                             " 2>/dev/null; mount -t tmpfs -o size=64k durandex " + source.string() +
                             " && truncate -s 112M " + image.string() + " && mkfs.ext4 -q -F -N 32000 " +
                             image.string() + " && mount -o loop " + image.string() + " " + target.string();
    if (geteuid() != 0 || system((make + " >/dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << "needs root, mkfs.ext4 and a loop device: " << make;
    }
    struct Unmount {
        std::string command;
        ~Unmount() { system(command.c_str()); }
    } unmount{"umount -l " + source.string() + " " + target.string()};
    const unsigned long long free_before = free_bytes(target);
    ProgramProcess program({"/a", "600"}, {{"DURANDEX_DRIVES", "C:fixed=" + source.string() + ";D:fixed=" + target.string()},
                                           {"DURANDEX_INSTANCE", (drives.root / "lock").string()},
                                           {"DURANDEX_REGISTRY", (drives.root / "registry").string()},
                                           {"DURANDEX_EVENT_LOG", (drives.root / "events").string()}});
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
    for (const std::filesystem::path& drive : {source, target}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(drive)) {
            const std::string name = entry.path().filename().string();
            const bool kept = !entry.is_regular_file() || name == "Durandex.Log" || name.rfind("SRC.", 0) == 0 ||
                              name == "lost+found" || (status != 0 && name.rfind("log", 0) == 0);
            EXPECT_TRUE(kept) << entry.path();
        }
    }
}

}  // namespace
