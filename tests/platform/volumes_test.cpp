#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "files_test_support.h"
#include "platform/disk_geometry.h"

namespace {

using files_test::sentinel;
using files_test::write_native;

constexpr ULONGLONG mebibyte = 1024ull * 1024;
constexpr ULONGLONG tebibyte = mebibyte * mebibyte;

struct Space {
    DWORD sectors_per_cluster = 0;
    DWORD bytes_per_sector = 0;
    DWORD free_clusters = 0;
    DWORD total_clusters = 0;

    ULONGLONG cluster() const { return static_cast<ULONGLONG>(sectors_per_cluster) * bytes_per_sector; }
    ULONGLONG free_bytes() const { return cluster() * free_clusters; }
    ULONGLONG total_bytes() const { return cluster() * total_clusters; }
};

class VolumesTest : public files_test::DriveTest {
protected:
    Space free_space(const char* root)
    {
        Space space;
        SetLastError(sentinel);
        EXPECT_TRUE(GetDiskFreeSpaceA(root, &space.sectors_per_cluster, &space.bytes_per_sector,
                                      &space.free_clusters, &space.total_clusters));
        EXPECT_EQ(GetLastError(), sentinel);
        return space;
    }
};

// --- drive types ---

TEST_F(VolumesTest, MappedLettersReportTheirTypes)
{
    configure("C=" + c_dir_ + ";D:cdrom=" + d_dir_ + ";E:remote=" + d_dir_ + ";F:removable=" + d_dir_ +
              ";G:ramdisk=" + d_dir_);
    EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(GetDriveTypeA("e:\\"), static_cast<UINT>(DRIVE_REMOTE));
    EXPECT_EQ(GetDriveTypeA("F:"), static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_EQ(GetDriveTypeA("G:/"), static_cast<UINT>(DRIVE_RAMDISK));
    // C: lies in /tmp on the machine's own disk.
    const UINT c_type = GetDriveTypeA("C:\\");
    EXPECT_TRUE(c_type == DRIVE_FIXED || c_type == DRIVE_RAMDISK || c_type == DRIVE_REMOVABLE) << c_type;
}

TEST_F(VolumesTest, UnmappedOrMissingDrivesHaveNoRootDirectory)
{
    configure("C=" + c_dir_ + ";M=" + root_ + "/not-there");
    EXPECT_EQ(GetDriveTypeA("Q:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(GetDriveTypeA("M:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(GetDriveTypeA("C:\\sub\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    EXPECT_EQ(GetDriveTypeA(nullptr), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
    Space space;
    SetLastError(sentinel);
    EXPECT_FALSE(GetDiskFreeSpaceA("Q:\\", &space.sectors_per_cluster, &space.bytes_per_sector,
                                   &space.free_clusters, &space.total_clusters));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_FALSE(GetVolumeInformationA("M:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// --- volume data ---

TEST_F(VolumesTest, VolumeDataOfATmpfs)
{
    std::string ram;
    MOUNT_TMPFS_OR_SKIP("ram", "8m", ram);
    configure("R=" + ram);
    EXPECT_EQ(GetDriveTypeA("R:\\"), static_cast<UINT>(DRIVE_RAMDISK));
    char label[20];
    char filesystem[20];
    std::memset(label, 'x', sizeof(label));
    DWORD serial = 0;
    DWORD longest_name = 0;
    DWORD flags = 0;
    SetLastError(sentinel);
    ASSERT_TRUE(GetVolumeInformationA("R:\\", label, sizeof(label), &serial, &longest_name, &flags, filesystem,
                                      sizeof(filesystem)));
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_STREQ(label, "");
    EXPECT_STREQ(filesystem, "TMPFS");
    EXPECT_EQ(longest_name, 255u);

    // Buffers too small for the name are refused and left untouched.
    char tiny[3] = {'a', 'b', 'c'};
    SetLastError(sentinel);
    EXPECT_FALSE(GetVolumeInformationA("R:\\", nullptr, 0, nullptr, nullptr, nullptr, tiny, sizeof(tiny)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_LENGTH));
    EXPECT_EQ(std::string(tiny, 3), "abc");

    SetLastError(sentinel);
    EXPECT_FALSE(GetVolumeInformationA("R:", label, sizeof(label), nullptr, nullptr, nullptr, filesystem,
                                       sizeof(filesystem)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
}

TEST_F(VolumesTest, LabelOfAnExt4Volume)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to loop-mount an ext4 image";
    }
    const std::string image = root_ + "/ext4.img";
    const std::string mount_point = root_ + "/ext4";
    ASSERT_EQ(mkdir(mount_point.c_str(), 0777), 0);
    const std::string make = "truncate -s 16M " + image + " && mkfs.ext4 -q -F -L StressVol " + image +
                             " >/dev/null 2>&1 && mount -o loop " + image + " " + mount_point + " 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
        GTEST_SKIP() << "could not make and loop-mount an ext4 image here";
    }
    mounts_.push_back(mount_point);
    configure("V=" + mount_point);
    char label[20] = {};
    char filesystem[20] = {};
    ASSERT_TRUE(GetVolumeInformationA("V:\\", label, sizeof(label), nullptr, nullptr, nullptr, filesystem,
                                      sizeof(filesystem)));
    EXPECT_STREQ(label, "StressVol");
    EXPECT_STREQ(filesystem, "EXT4");
    EXPECT_EQ(GetDriveTypeA("V:\\"), static_cast<UINT>(DRIVE_FIXED));
}

// --- free space ---

TEST_F(VolumesTest, FreeSpaceOfATmpfsOfKnownSize)
{
    std::string ram;
    MOUNT_TMPFS_OR_SKIP("ram", "8m", ram);
    configure("R=" + ram);
    const Space empty = free_space("R:\\");
    EXPECT_EQ(empty.bytes_per_sector, 512u);
    EXPECT_EQ(empty.total_bytes(), 8 * mebibyte);
    EXPECT_LE(8 * mebibyte - empty.free_bytes(), empty.cluster());

    write_native(ram + "/one-mebibyte", std::string(mebibyte, 'm'));
    const Space used = free_space("R:\\");
    EXPECT_EQ(used.cluster(), empty.cluster());
    const ULONGLONG taken = empty.free_bytes() - used.free_bytes();
    EXPECT_GE(taken + used.cluster(), mebibyte);
    EXPECT_LE(taken, mebibyte + used.cluster());
}

TEST_F(VolumesTest, FreeSpaceOfA64TebibyteTmpfsFitsIn32BitCounts)
{
    std::string huge;
    MOUNT_TMPFS_OR_SKIP("huge", "64T", huge);
    configure("H=" + huge);
    const Space empty = free_space("H:\\");
    EXPECT_EQ(empty.bytes_per_sector, 512u);
    EXPECT_EQ(empty.total_bytes(), 64 * tebibyte);
    EXPECT_LE(64 * tebibyte - empty.free_bytes(), empty.cluster());
    // The smallest enlargement that fits: one half the cluster would not.
    EXPECT_GT(64 * tebibyte / (empty.cluster() / 2), 0xFFFFFFFFull);

    write_native(huge + "/file", std::string(3 * mebibyte, 'h'));
    const Space used = free_space("H:\\");
    EXPECT_EQ(used.sectors_per_cluster, empty.sectors_per_cluster);
    EXPECT_EQ(used.total_clusters, empty.total_clusters);
    const ULONGLONG taken = empty.free_bytes() - used.free_bytes();
    EXPECT_LE(taken, 3 * mebibyte + used.cluster());
}

TEST(DiskGeometryTest, LargeTotalsDoubleTheClusterUntilTheyFit)
{
    const DiskGeometry geometry = disk_geometry(4096, 0x300000001ull, 0x400000000ull);
    EXPECT_EQ(geometry.sectors_per_cluster, 64u);
    EXPECT_EQ(geometry.total_clusters, 0x80000000u);
    EXPECT_EQ(geometry.free_clusters, 0x60000000u);
    const DiskGeometry just_over = disk_geometry(1024, 5, 0x100000000ull);
    EXPECT_EQ(just_over.sectors_per_cluster, 4u);
    EXPECT_EQ(just_over.total_clusters, 0x80000000u);
    EXPECT_EQ(just_over.free_clusters, 2u);
}

TEST(DiskGeometryTest, SmallOrOddFragmentsBecomeTheSector)
{
    const DiskGeometry geometry = disk_geometry(100, 7, 9);
    EXPECT_EQ(geometry.bytes_per_sector, 100u);
    EXPECT_EQ(geometry.sectors_per_cluster, 1u);
    EXPECT_EQ(geometry.free_clusters, 7u);
    EXPECT_EQ(geometry.total_clusters, 9u);
}

}  // namespace
