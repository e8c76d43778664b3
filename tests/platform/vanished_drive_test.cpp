#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/drive_map.h"
#include "platform/win32.h"

namespace {

// A drive whose directory left the filesystem it was found on answers as not
// ready, not as an empty directory: unmounted lazily (root only), or removed.
TEST(VanishedDriveTest, CallsOnAVanishedDriveFailAsNotReady)
{
    for (const bool unmount : {true, false}) {
        const std::filesystem::path directory =
            std::filesystem::temp_directory_path() / ("vanished-" + std::to_string(getpid()));
        std::filesystem::create_directories(directory);
        if (unmount && (geteuid() != 0 || mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=1m") != 0)) {
            std::filesystem::remove_all(directory);
            continue;  // needs root to mount
        }
        std::ofstream(directory / "f") << "x";
        std::string error;
        ASSERT_TRUE(drive_map_configure(("X=" + directory.string()).c_str(), &error)) << error;
        HANDLE file = CreateFileA("X:\\f", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        if (unmount) {
            umount2(directory.c_str(), MNT_DETACH);
        } else {
            std::filesystem::remove_all(directory);
        }
        DWORD free_clusters = 0;
        DWORD ignored = 0;
        EXPECT_EQ(CreateFileA("X:\\f", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY) << unmount;
        EXPECT_FALSE(GetDiskFreeSpaceA("X:\\", &ignored, &ignored, &free_clusters, &ignored));
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_READY) << unmount;
        std::filesystem::remove_all(directory);
    }
    std::string error;
    drive_map_configure("", &error);
}

}  // namespace
