// The disk behind a directory, on the machine's own disk and a loop-mounted
// ext4 image; lsblk and losetup are the independent witnesses. A tmpfs drive's
// text is checked on the program's start lines.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "files_test_support.h"
#include "platform/disk_identity.h"

namespace {

// The command's standard output, without the blanks lsblk pads it with.
std::string output_of(const std::string& command)
{
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        text += buffer;
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.substr(std::min(text.find_first_not_of(' '), text.size()));
}

// The disk's own files and mounts come from the drive tests' fixture.
using DiskIdentityTest = DriveTest;

TEST_F(DiskIdentityTest, RootDirectoryResolvesToTheDiskThatLsblkNames)
{
    const DiskIdentity identity = disk_identity_of("/");
    if (!identity.block_device) {
        GTEST_SKIP() << "the root filesystem here has no block device: " << disk_identity_text(identity);
    }
    ASSERT_EQ(identity.disks.size(), 1u) << disk_identity_text(identity);
    const PhysicalDisk& disk = identity.disks[0];
    // lsblk's parent kernel name is empty for a whole disk.
    const std::string parent = output_of("lsblk -ndo PKNAME " + identity.device);
    EXPECT_EQ(disk.node, parent.empty() ? identity.device : "/dev/" + parent);
    EXPECT_EQ(disk.major_minor, output_of("lsblk -ndo MAJ:MIN " + disk.node));
    EXPECT_EQ(std::to_string(disk.size_bytes), output_of("lsblk -bndo SIZE " + disk.node));
    EXPECT_EQ(disk.rotational ? "1" : "0", output_of("lsblk -ndo ROTA " + disk.node));
    EXPECT_NE(disk_identity_text(identity).find(" on " + identity.device + " "), std::string::npos);
    EXPECT_NE(disk_identity_text(identity).find("(disk " + disk.node + " " + disk.major_minor), std::string::npos);
}

TEST_F(DiskIdentityTest, LoopMountedImageNamesItsLoopDeviceAndBackingFile)
{
    std::string mount_point;
    if (const std::string refusal = mount_ext4("mnt", "24M", "", &mount_point); !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    const std::string image = mount_point + ".img", loop = output_of("findmnt -no SOURCE " + mount_point);
    ASSERT_EQ(loop.rfind("/dev/loop", 0), 0u) << loop;
    std::filesystem::create_directory(mount_point + "/deeper");

    const DiskIdentity identity = disk_identity_of(mount_point + "/deeper");
    ASSERT_TRUE(identity.block_device);
    EXPECT_EQ(identity.fs_type, "ext4");
    EXPECT_EQ(identity.device, loop);
    ASSERT_EQ(identity.disks.size(), 1u);
    EXPECT_EQ(identity.disks[0].node, loop);
    EXPECT_EQ(identity.disks[0].backing_file, output_of("losetup -nO BACK-FILE " + loop));
    EXPECT_EQ(identity.disks[0].backing_file, image);
    EXPECT_EQ(identity.disks[0].size_bytes, 24ull << 20);
    EXPECT_EQ(identity.disks[0].major_minor, output_of("lsblk -ndo MAJ:MIN " + loop));
    const std::string text = disk_identity_text(identity);
    EXPECT_EQ(text.rfind("ext4 on " + loop + " ", 0), 0u) << text;
    EXPECT_NE(text.find("backing file " + image + ", 24 MiB"), std::string::npos) << text;
}

}  // namespace
