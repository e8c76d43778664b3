#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "files_test_support.h"
#include "platform/drive_map.h"

namespace {

using files_test::DriveTest;

const DriveMapping* find_letter(const std::vector<DriveMapping>& drives, char letter)
{
    for (const DriveMapping& drive : drives) {
        if (drive.letter == letter) {
            return &drive;
        }
    }
    return nullptr;
}

// --- DURANDEX_DRIVES ---

TEST(DriveSettingTest, EntriesGiveLettersTypesAndDirectories)
{
    std::vector<DriveMapping> drives;
    std::string error;
    ASSERT_TRUE(parse_drive_setting("c=/srv/stress/;D:removable=/mnt/usb;e:CDROM=/media/disc;F:ramdisk=/x;"
                                    "G:remote=/net;H:fixed=/",
                                    &drives, &error))
        << error;
    ASSERT_EQ(drives.size(), 6u);
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].directory, "/srv/stress");
    EXPECT_EQ(drives[1].letter, 'D');
    EXPECT_EQ(drives[1].type, static_cast<UINT>(DRIVE_REMOVABLE));
    EXPECT_EQ(drives[1].directory, "/mnt/usb");
    EXPECT_EQ(drives[2].letter, 'E');
    EXPECT_EQ(drives[2].type, static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(drives[3].type, static_cast<UINT>(DRIVE_RAMDISK));
    EXPECT_EQ(drives[4].type, static_cast<UINT>(DRIVE_REMOTE));
    EXPECT_EQ(drives[5].type, static_cast<UINT>(DRIVE_FIXED));
    EXPECT_EQ(drives[5].directory, "/");
}

TEST(DriveSettingTest, UntypedEntryTakesTheTypeOfItsFilesystem)
{
    std::vector<DriveMapping> drives;
    std::string error;
    ASSERT_TRUE(parse_drive_setting("S=/dev/shm", &drives, &error)) << error;
    ASSERT_EQ(drives.size(), 1u);
    MountEntry mount;
    ASSERT_TRUE(mount_of_path("/dev/shm", &mount));
    EXPECT_EQ(drives[0].fs_type, mount.fs_type);
    EXPECT_EQ(drives[0].type, drive_type_of_mount(mount));
}

TEST(DriveSettingTest, MalformedEntriesAreRefusedNamingTheEntry)
{
    const char* const bad_entries[] = {"Q-/x", "=/x", "1=/x", "QQ=/x", "Q:floppy=/x", "Q=", "Q=relative/path",
                                       "Q:=/x"};
    for (const char* entry : bad_entries) {
        std::vector<DriveMapping> drives;
        std::string error;
        const std::string setting = std::string("C=/tmp;") + entry;
        EXPECT_FALSE(parse_drive_setting(setting, &drives, &error)) << entry;
        EXPECT_EQ(error.rfind(std::string("DURANDEX_DRIVES: malformed entry \"") + entry + "\": ", 0), 0u)
            << error;
    }
}

TEST(DriveSettingTest, LetterGivenTwiceIsMalformedWhateverItsCase)
{
    std::vector<DriveMapping> drives;
    std::string error;
    EXPECT_FALSE(parse_drive_setting("C=/a;c=/b", &drives, &error));
    EXPECT_NE(error.find("\"c=/b\""), std::string::npos) << error;
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
            setenv("DURANDEX_DRIVES", "C=/tmp;Q-/x", 1);
            DriveMapping drive;
            drive_map_lookup('C', &drive);
        },
        ::testing::ExitedWithCode(255), "DURANDEX_DRIVES: malformed entry \"Q-/x\"");
}

// --- the mounts table ---

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

TEST(MountsTableTest, RootIsCAndOthersFollowInOrderOfMountPoint)
{
    const std::vector<DriveMapping> drives = drives_from_mounts(sample_mounts);
    const std::pair<char, const char*> expected[] = {{'C', "/"},          {'D', "/data"},
                                                     {'E', "/dev/shm"},   {'F', "/media/My Disc"},
                                                     {'G', "/mnt/share"}, {'H', "/net/home"},
                                                     {'I', "/scratch"}};
    ASSERT_EQ(drives.size(), std::size(expected));
    for (size_t i = 0; i < drives.size(); ++i) {
        EXPECT_EQ(drives[i].letter, expected[i].first);
        EXPECT_EQ(drives[i].directory, expected[i].second);
    }
}

TEST(MountsTableTest, TypesFollowTheFilesystem)
{
    const std::vector<DriveMapping> drives = drives_from_mounts(sample_mounts);
    ASSERT_NE(find_letter(drives, 'F'), nullptr);
    EXPECT_EQ(find_letter(drives, 'F')->type, static_cast<UINT>(DRIVE_CDROM));
    EXPECT_EQ(find_letter(drives, 'F')->fs_type, "iso9660");
    EXPECT_EQ(find_letter(drives, 'H')->type, static_cast<UINT>(DRIVE_REMOTE));
    EXPECT_EQ(find_letter(drives, 'G')->type, static_cast<UINT>(DRIVE_REMOTE));
    EXPECT_EQ(find_letter(drives, 'I')->type, static_cast<UINT>(DRIVE_RAMDISK));
    EXPECT_EQ(find_letter(drives, 'E')->type, static_cast<UINT>(DRIVE_RAMDISK));
    // The filesystem mounted last over /data is the one in use.
    EXPECT_EQ(find_letter(drives, 'D')->fs_type, "ext4");
    EXPECT_EQ(find_letter(drives, 'D')->type, static_cast<UINT>(DRIVE_FIXED));
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

// --- path translation ---

class TranslatePathTest : public DriveTest {};

TEST_F(TranslatePathTest, DrivePathsBecomePathsUnderTheDirectory)
{
    std::string native;
    DWORD code = files_test::sentinel;
    ASSERT_TRUE(translate_path("c:\\a\\b", &native, &code));
    EXPECT_EQ(native, c_dir_ + "/a/b");
    ASSERT_TRUE(translate_path("D:/a//b\\", &native, &code));
    EXPECT_EQ(native, d_dir_ + "/a/b");
    ASSERT_TRUE(translate_path("C:\\", &native, &code));
    EXPECT_EQ(native, c_dir_);
    ASSERT_TRUE(translate_path("C:\\a\\.\\b\\..\\c", &native, &code));
    EXPECT_EQ(native, c_dir_ + "/a/c");
}

TEST_F(TranslatePathTest, DotDotCannotClimbAboveTheDrive)
{
    std::string native = "unchanged";
    DWORD code = files_test::sentinel;
    EXPECT_FALSE(translate_path("C:\\..\\d\\x", &native, &code));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    code = files_test::sentinel;
    EXPECT_FALSE(translate_path("C:\\a\\..\\..\\x", &native, &code));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(native, "unchanged");
}

TEST_F(TranslatePathTest, UnmappedLettersAndOtherPathsAreNotFound)
{
    std::string native;
    DWORD code = files_test::sentinel;
    EXPECT_FALSE(translate_path("Q:\\x", &native, &code));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    code = files_test::sentinel;
    EXPECT_FALSE(translate_path("relative\\x", &native, &code));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(TranslatePathTest, ReservedCharactersAreInvalidNames)
{
    std::string native;
    for (const char* path : {"C:\\a*b", "C:\\a?b", "C:\\a:b", "C:\\a|b", "C:\\a<b", "C:\\a\"b"}) {
        DWORD code = files_test::sentinel;
        EXPECT_FALSE(translate_path(path, &native, &code)) << path;
        EXPECT_EQ(code, static_cast<DWORD>(ERROR_INVALID_NAME)) << path;
    }
}

TEST_F(TranslatePathTest, PathsOfMaxPathCharactersAreTooLong)
{
    std::string native;
    DWORD code = files_test::sentinel;
    const std::string longest = "C:\\" + std::string(MAX_PATH - 4, 'a');
    EXPECT_TRUE(translate_path(longest.c_str(), &native, &code));
    const std::string too_long = longest + "a";
    ASSERT_EQ(too_long.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_FALSE(translate_path(too_long.c_str(), &native, &code));
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
}

}  // namespace
