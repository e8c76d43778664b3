#include "files_test_support.h"

namespace {

using VanishedDriveTest = DriveTest;

// A drive whose directory left the filesystem it was found on answers as not
// ready, not as an empty directory: unmounted lazily (root only), or removed.
TEST_F(VanishedDriveTest, CallsOnAVanishedDriveFailAsNotReady)
{
    std::string mounted;
    MOUNT_TMPFS_OR_SKIP("vanishing", "1m", mounted);
    for (const std::string& directory : {mounted, d_dir_}) {
        SCOPED_TRACE(directory);
        write_native(directory + "/f", "x");
        configure("X=" + directory);
        ASSERT_TRUE(CloseHandle(open_file("X:\\f", GENERIC_READ, OPEN_EXISTING)));
        if (directory == mounted) {
            umount2(directory.c_str(), MNT_DETACH);
        } else {
            remove_tree(directory);
        }
        EXPECT_FAILS(open_file("X:\\f", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_NOT_READY);
        DWORD n[4];
        EXPECT_FAILS(GetDiskFreeSpaceA("X:\\", &n[0], &n[1], &n[2], &n[3]), FALSE, ERROR_NOT_READY);
    }
}

}  // namespace
