#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "files_test_support.h"
#include "platform/drive_map.h"
#include "platform/settings.h"

namespace {

using namespace files_test;

// An untyped entry takes the type of its filesystem.
TEST(DriveSettingTest, EntriesGiveLettersTypesAndDirectories)
{
    std::vector<DriveMapping> drives;
    std::string error;
    ASSERT_TRUE(parse_drive_setting("c=/srv/stress/;D:removable=/mnt/usb;e:CDROM=/media/disc;F:ramdisk=/x;"
                                    "G:remote=/net;H:fixed=/;S=/dev/shm",
                                    &drives, &error))
        << error;
    ASSERT_EQ(drives.size(), 7u);
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].directory, "/srv/stress");
    const std::tuple<char, UINT, const char*> typed[] = {{'D', DRIVE_REMOVABLE, "/mnt/usb"},
                                                         {'E', DRIVE_CDROM, "/media/disc"},
                                                         {'F', DRIVE_RAMDISK, "/x"},
                                                         {'G', DRIVE_REMOTE, "/net"},
                                                         {'H', DRIVE_FIXED, "/"}};
    for (size_t i = 0; i < std::size(typed); ++i) {
        const auto& [letter, type, directory] = typed[i];
        EXPECT_EQ(drives[i + 1].letter, letter);
        EXPECT_EQ(drives[i + 1].type, type) << letter;
        EXPECT_EQ(drives[i + 1].directory, directory);
    }
    MountEntry mount;
    ASSERT_TRUE(mount_of_path("/dev/shm", &mount));
    EXPECT_EQ(drives[6].fs_type, mount.fs_type);
    EXPECT_EQ(drives[6].type, drive_type_of_mount(mount));
}

TEST(DriveSettingTest, MalformedEntriesAreRefusedNamingTheEntry)
{
    // "c=/b" gives C: a second time.
    for (const char* entry :
         {"Q-/x", "=/x", "1=/x", "QQ=/x", "Q:floppy=/x", "Q=", "Q=relative/path", "Q:=/x", "c=/b"}) {
        std::vector<DriveMapping> drives;
        std::string error;
        EXPECT_FALSE(parse_drive_setting(std::string("C=/tmp;") + entry, &drives, &error)) << entry;
        EXPECT_EQ(error.rfind(std::string("DURANDEX_DRIVES: malformed entry \"") + entry + "\": ", 0), 0u)
            << error;
    }
}

TEST(DriveSettingTest, RefusedConfigurationKeepsThePreviousMap)
{
    std::string error;
    ASSERT_TRUE(drive_map_configure("K=/kept", &error)) << error;
    EXPECT_FALSE(drive_map_configure("K=/other;bad", &error));
    EXPECT_NE(error.find("\"bad\""), std::string::npos) << error;
    DriveMapping drive;
    ASSERT_TRUE(drive_map_lookup('k', &drive));
    EXPECT_EQ(drive.directory, "/kept");
}

TEST(DriveSettingDeathTest, MalformedEnvironmentEndsTheProcessWith255)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setting_override(Setting::Drives, "C=/tmp;Q-/x");
            DriveMapping drive;
            drive_map_lookup('C', &drive);
        },
        ::testing::ExitedWithCode(255), "DURANDEX_DRIVES: malformed entry \"Q-/x\"");
}

const char* const sample_mounts =
    "proc /proc proc rw,relatime 0 0\n"
    "sysfs /sys sysfs rw 0 0\n"
    "/dev/vda / ext4 rw,relatime 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "tmpfs /dev/shm tmpfs rw 0 0\n"
    "devpts /dev/pts devpts rw 0 0\n"
    "/dev/sr0 /media/My\\040Disc iso9660 ro 0 0\n"
    "server:/export /net/home nfs4 rw 0 0\n"
    "cgroup2 /sys/fs/cgroup cgroup2 rw 0 0\n"
    "tmpfs /scratch tmpfs rw 0 0\n"
    "/dev/vdb /data xfs rw 0 0\n"
    "/dev/vdc /data ext4 rw 0 0\n"
    "hugetlbfs /mnt/huge hugetlbfs rw 0 0\n"
    "server:/share /mnt/share cifs rw 0 0\n";

// Root is C:, the others follow in order of mount point; the filesystem
// mounted last over /data is the one in use.
TEST(MountsTableTest, LettersAndTypesFollowTheMountPointsAndFilesystems)
{
    const std::vector<DriveMapping> drives = drives_from_mounts(sample_mounts);
    const std::tuple<char, const char*, const char*, UINT> expected[] = {
        {'C', "/", "ext4", DRIVE_FIXED},           {'D', "/data", "ext4", DRIVE_FIXED},
        {'E', "/dev/shm", "tmpfs", DRIVE_RAMDISK}, {'F', "/media/My Disc", "iso9660", DRIVE_CDROM},
        {'G', "/mnt/share", "cifs", DRIVE_REMOTE}, {'H', "/net/home", "nfs4", DRIVE_REMOTE},
        {'I', "/scratch", "tmpfs", DRIVE_RAMDISK}};
    ASSERT_EQ(drives.size(), std::size(expected));
    for (size_t i = 0; i < drives.size(); ++i) {
        const auto& [letter, directory, fs_type, type] = expected[i];
        EXPECT_EQ(drives[i].letter, letter);
        EXPECT_EQ(drives[i].directory, directory);
        EXPECT_EQ(drives[i].fs_type, fs_type) << letter;
        EXPECT_EQ(drives[i].type, type) << letter;
    }
}

TEST(MountsTableTest, OctalEscapesAreDecodedInEveryField)
{
    const std::vector<MountEntry> mounts = parse_mounts("/dev/a\\134b /m\\011n\\040x ext4 rw 0 0\n");
    ASSERT_EQ(mounts.size(), 1u);
    EXPECT_EQ(mounts[0].device, "/dev/a\\b");
    EXPECT_EQ(mounts[0].mount_point, "/m\tn x");
    EXPECT_EQ(mounts[0].fs_type, "ext4");
}

TEST(MountsTableTest, LettersStopAtZ)
{
    std::string text = "/dev/vda / ext4 rw 0 0\n";
    for (int i = 0; i < 30; ++i) {
        text += "/dev/x /m" + std::to_string(100 + i) + " ext4 rw 0 0\n";
    }
    const std::vector<DriveMapping> drives = drives_from_mounts(text);
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().directory, "/m122");
}

class TranslatePathTest : public DriveTest {};

TEST_F(TranslatePathTest, DrivePathsBecomePathsUnderTheDirectory)
{
    const std::string longest = "C:\\" + std::string(MAX_PATH - 4, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"c:\\a\\b", c_dir_ + "/a/b"}, {"D:/a//b\\", d_dir_ + "/a/b"}, {"C:\\", c_dir_},
        {"C:\\a\\.\\b\\..\\c", c_dir_ + "/a/c"}, {longest, c_dir_ + "/" + longest.substr(3)}};
    for (const auto& [path, expected] : cases) {
        std::string native;
        DWORD code = sentinel;
        EXPECT_TRUE(translate_path(path.c_str(), &native, &code)) << path;
        EXPECT_EQ(native, expected);
    }
}

TEST_F(TranslatePathTest, RefusedPathsGiveTheirCodes)
{
    const std::string too_long = "C:\\" + std::string(MAX_PATH - 3, 'a');
    const std::pair<std::string, DWORD> cases[] = {
        {"C:\\..\\d\\x", ERROR_PATH_NOT_FOUND}, {"C:\\a\\..\\..\\x", ERROR_PATH_NOT_FOUND},
        {"Q:\\x", ERROR_PATH_NOT_FOUND},         {"relative\\x", ERROR_PATH_NOT_FOUND},
        {"C:\\a*b", ERROR_INVALID_NAME},         {"C:\\a?b", ERROR_INVALID_NAME},
        {"C:\\a:b", ERROR_INVALID_NAME},         {"C:\\a|b", ERROR_INVALID_NAME},
        {"C:\\a<b", ERROR_INVALID_NAME},         {"C:\\a\"b", ERROR_INVALID_NAME},
        {too_long, ERROR_FILENAME_EXCED_RANGE}};
    ASSERT_EQ(too_long.size(), static_cast<size_t>(MAX_PATH));
    for (const auto& [path, expected] : cases) {
        std::string native = "unchanged";
        DWORD code = sentinel;
        EXPECT_FALSE(translate_path(path.c_str(), &native, &code)) << path;
        EXPECT_EQ(code, expected) << path;
        EXPECT_EQ(native, "unchanged") << path;
    }
}

}  // namespace
