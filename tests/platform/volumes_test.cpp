#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "files_test_support.h"
#include "platform/disk_geometry.h"

namespace {

using namespace files_test;

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

class VolumesTest : public DriveTest {
protected:
    Space free_space(const char* root)
    {
        Space space;
        EXPECT_QUIET_SUCCESS(GetDiskFreeSpaceA(root, &space.sectors_per_cluster, &space.bytes_per_sector,
                                               &space.free_clusters, &space.total_clusters));
        return space;
    }

    // Maps R: to a fresh tmpfs of `size` and checks its free space, empty and
    // after a file of `written` bytes; fills in the empty volume's figures.
    void check_tmpfs_space(const char* size_text, ULONGLONG size, ULONGLONG written, Space* empty_space = nullptr)
    {
        std::string ram;
        MOUNT_TMPFS_OR_SKIP("ram", size_text, ram);
        configure("R=" + ram);
        const Space empty = free_space("R:\\");
        EXPECT_EQ(empty.bytes_per_sector, 512u);
        EXPECT_EQ(empty.total_bytes(), size);
        EXPECT_LE(size - empty.free_bytes(), empty.cluster());
        write_native(ram + "/file", std::string(written, 'm'));
        const Space used = free_space("R:\\");
        EXPECT_EQ(used.cluster(), empty.cluster());
        EXPECT_EQ(used.total_clusters, empty.total_clusters);
        const ULONGLONG taken = empty.free_bytes() - used.free_bytes();
        EXPECT_GE(taken + used.cluster(), written);
        EXPECT_LE(taken, written + used.cluster());
        if (empty_space != nullptr) {
            *empty_space = empty;
        }
    }
};

TEST_F(VolumesTest, DriveTypesOfMappedUnmappedAndMissingDrives)
{
    configure("C=" + c_dir_ + ";D:cdrom=" + d_dir_ + ";E:remote=" + d_dir_ + ";F:removable=" + d_dir_ +
              ";G:ramdisk=" + d_dir_ + ";M=" + root_ + "/not-there");
    const std::pair<const char*, UINT> cases[] = {
        {"D:\\", DRIVE_CDROM},         {"e:\\", DRIVE_REMOTE},         {"F:", DRIVE_REMOVABLE},
        {"G:/", DRIVE_RAMDISK},         {"Q:\\", DRIVE_NO_ROOT_DIR},    {"M:\\", DRIVE_NO_ROOT_DIR},
        {"C:\\sub\\", DRIVE_NO_ROOT_DIR}, {nullptr, DRIVE_NO_ROOT_DIR}};
    for (const auto& [root, type] : cases) {
        EXPECT_EQ(GetDriveTypeA(root), type) << (root != nullptr ? root : "null");
    }
    // C: lies in /tmp on the machine's own disk.
    const UINT c_type = GetDriveTypeA("C:\\");
    EXPECT_TRUE(c_type == DRIVE_FIXED || c_type == DRIVE_RAMDISK || c_type == DRIVE_REMOVABLE) << c_type;
    Space space;
    EXPECT_FAILS(GetDiskFreeSpaceA("Q:\\", &space.sectors_per_cluster, &space.bytes_per_sector,
                                   &space.free_clusters, &space.total_clusters),
                 FALSE, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(GetVolumeInformationA("M:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0), FALSE,
                 ERROR_PATH_NOT_FOUND);
}

TEST_F(VolumesTest, VolumeDataAndFreeSpaceOfATmpfsOfKnownSize)
{
    check_tmpfs_space("8m", 8 * mebibyte, mebibyte);
    if (IsSkipped()) {
        return;
    }
    EXPECT_EQ(GetDriveTypeA("R:\\"), static_cast<UINT>(DRIVE_RAMDISK));
    char label[20] = "x";
    char filesystem[20];
    DWORD serial = 0, longest_name = 0, flags = 0;
    EXPECT_QUIET_SUCCESS(GetVolumeInformationA("R:\\", label, sizeof(label), &serial, &longest_name, &flags,
                                               filesystem, sizeof(filesystem)));
    EXPECT_STREQ(label, "");
    EXPECT_STREQ(filesystem, "TMPFS");
    EXPECT_EQ(longest_name, 255u);
    // Buffers too small for the name are refused and left untouched.
    char tiny[3] = {'a', 'b', 'c'};
    EXPECT_FAILS(GetVolumeInformationA("R:\\", nullptr, 0, nullptr, nullptr, nullptr, tiny, sizeof(tiny)), FALSE,
                 ERROR_BAD_LENGTH);
    EXPECT_EQ(std::string(tiny, 3), "abc");
    EXPECT_FAILS(GetVolumeInformationA("R:", label, sizeof(label), nullptr, nullptr, nullptr, filesystem,
                                       sizeof(filesystem)),
                 FALSE, ERROR_INVALID_NAME);
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

TEST_F(VolumesTest, FreeSpaceOfA64TebibyteTmpfsFitsIn32BitCounts)
{
    Space empty;
    check_tmpfs_space("64T", 64 * tebibyte, 3 * mebibyte, &empty);
    if (!IsSkipped()) {
        // The smallest enlargement that fits: one half the cluster would not.
        EXPECT_GT(64 * tebibyte / (empty.cluster() / 2), 0xFFFFFFFFull);
    }
}

TEST(DiskGeometryTest, LargeTotalsDoubleTheClusterUntilTheyFitAndSmallOnesKeepTheSector)
{
    struct Case {
        ULONGLONG fragment, free_fragments, total_fragments;
        DWORD bytes_per_sector, sectors_per_cluster, free_clusters, total_clusters;
    };
    for (const Case& c : {Case{4096, 0x300000001ull, 0x400000000ull, 512, 64, 0x60000000u, 0x80000000u},
                          Case{1024, 5, 0x100000000ull, 512, 4, 2, 0x80000000u}, Case{100, 7, 9, 100, 1, 7, 9}}) {
        SCOPED_TRACE(c.fragment);
        const DiskGeometry geometry = disk_geometry(c.fragment, c.free_fragments, c.total_fragments);
        EXPECT_EQ(geometry.bytes_per_sector, c.bytes_per_sector);
        EXPECT_EQ(geometry.sectors_per_cluster, c.sectors_per_cluster);
        EXPECT_EQ(geometry.free_clusters, c.free_clusters);
        EXPECT_EQ(geometry.total_clusters, c.total_clusters);
    }
}

}  // namespace
