#include <cstdlib>

#include "files_test_support.h"

namespace {

constexpr ULONGLONG mebibyte = 1024ull * 1024, tebibyte = mebibyte * mebibyte;

struct Space {
    DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
    ULONGLONG cluster() const { return static_cast<ULONGLONG>(sectors_per_cluster) * bytes_per_sector; }
};

class VolumesTest : public DriveTest {
protected:
    Space free_space(const char* root)
    {
        Space s;
        EXPECT_QUIET_SUCCESS(GetDiskFreeSpaceA(root, &s.sectors_per_cluster, &s.bytes_per_sector, &s.free_clusters,
                                               &s.total_clusters));
        return s;
    }
};

// Typed drives are proven by the drive inventory; here: entries in either
// case, an untyped one taking the type of its filesystem (/dev/shm: a tmpfs),
// the forms of a root, and roots that are no drive's.
TEST_F(VolumesTest, DriveTypesOfRootFormsAndOfWhatIsNoDrive)
{
    configure("d:CDROM=" + d_dir_ + "/;S=/dev/shm;M=" + root_ + "/not-there");
    for (const char* root : {"D:\\", "d:\\", "D:", "D:/"}) {
        EXPECT_EQ(GetDriveTypeA(root), static_cast<UINT>(DRIVE_CDROM)) << root;
    }
    EXPECT_EQ(GetDriveTypeA("S:\\"), static_cast<UINT>(DRIVE_RAMDISK));
    for (const char* root : {"Q:\\", "M:\\", "D:\\sub\\", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(GetDriveTypeA(root), static_cast<UINT>(DRIVE_NO_ROOT_DIR)) << (root != nullptr ? root : "null");
    }
    DWORD n[4];
    EXPECT_FAILS(GetDiskFreeSpaceA("Q:\\", &n[0], &n[1], &n[2], &n[3]), FALSE, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(GetVolumeInformationA("M:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0), FALSE,
                 ERROR_PATH_NOT_FOUND);
}

// Free space of tmpfs volumes of known size, empty and after a file: even a
// 64 TiB volume fits in 32-bit counts, by the smallest enlargement of the
// cluster that does. Then the names of a tmpfs and of an ext4 volume.
TEST_F(VolumesTest, VolumeDataAndFreeSpaceOfRealVolumes)
{
    struct Volume { const char* name; const char* size_text; ULONGLONG size, written; bool enlarged; };
    for (const Volume& volume : {Volume{"small", "8m", 8 * mebibyte, mebibyte, false},
                                 Volume{"huge", "64T", 64 * tebibyte, 3 * mebibyte, true}}) {
        SCOPED_TRACE(volume.size_text);
        std::string ram;
        MOUNT_TMPFS_OR_SKIP(volume.name, volume.size_text, ram);
        configure("R=" + ram);
        const Space empty = free_space("R:\\");
        EXPECT_EQ(empty.bytes_per_sector, 512u);
        EXPECT_EQ(empty.cluster() * empty.total_clusters, volume.size);
        EXPECT_LE(volume.size - empty.cluster() * empty.free_clusters, empty.cluster());
        EXPECT_TRUE(!volume.enlarged || volume.size / (empty.cluster() / 2) > 0xFFFFFFFFull) << "half would not fit";
        write_native(ram + "/file", std::string(volume.written, 'm'));
        const Space used = free_space("R:\\");
        EXPECT_EQ(used.total_clusters, empty.total_clusters);
        const ULONGLONG taken = (empty.free_clusters - used.free_clusters) * used.cluster();
        EXPECT_GE(taken + used.cluster(), volume.written);
        EXPECT_LE(taken, volume.written + used.cluster());
    }
    char label[20] = "x", filesystem[20];
    DWORD serial = 0, longest_name = 0, flags = 0;
    EXPECT_QUIET_SUCCESS(GetVolumeInformationA("R:\\", label, sizeof(label), &serial, &longest_name, &flags,
                                               filesystem, sizeof(filesystem)));
    EXPECT_STREQ(label, "");
    EXPECT_STREQ(filesystem, "TMPFS");
    EXPECT_EQ(longest_name, 255u);
    char tiny[3] = {'a', 'b', 'c'};  // too small for the name: refused and left untouched
    EXPECT_FAILS(GetVolumeInformationA("R:\\", nullptr, 0, nullptr, nullptr, nullptr, tiny, sizeof(tiny)), FALSE,
                 ERROR_BAD_LENGTH);
    EXPECT_EQ(std::string(tiny, 3), "abc");
    EXPECT_FAILS(GetVolumeInformationA("R:", label, sizeof(label), nullptr, nullptr, nullptr, filesystem, 20), FALSE,
                 ERROR_INVALID_NAME);
    // The label of a loop-mounted ext4 volume.
    std::string mount_point;
    if (const std::string refusal = mount_ext4("ext4", "16M", "-L StressVol", &mount_point); !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    configure("V=" + mount_point);
    ASSERT_TRUE(GetVolumeInformationA("V:\\", label, 20, nullptr, nullptr, nullptr, filesystem, 20));
    EXPECT_STREQ(label, "StressVol");
    EXPECT_STREQ(filesystem, "EXT4");
    EXPECT_EQ(GetDriveTypeA("V:\\"), static_cast<UINT>(DRIVE_FIXED));
}

}  // namespace
