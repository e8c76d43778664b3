#include <cstdlib>
#include <tuple>

#include "files_test_support.h"
#include "platform/settings.h"

namespace {

// A refused setting names its entry and keeps the previous map; "c=/b" gives
// C: a second time. From the environment, the load refuses it the same way,
// and a lookup that meets it unloaded maps no drive at all.
TEST(DriveSettingTest, MalformedEntriesAreRefusedNamingTheEntry)
{
    DriveMapping drive;
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // the child meets the environment before any map is set
    EXPECT_EXIT(
        {
            setting_override(Setting::Drives, "C=/tmp;Q-/x");
            std::exit(drive_map_lookup('C', &drive) || drive_map_lookup('Q', &drive) ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
    std::string error;
    setting_override(Setting::Drives, "C=/tmp;Q-/x");
    ASSERT_TRUE(drive_map_configure("C=/kept", &error)) << error;
    std::vector<DriveMapping> loaded;
    EXPECT_FALSE(drive_map_load(&loaded, &error));
    EXPECT_EQ(error, "DURANDEX_DRIVES: malformed entry \"Q-/x\": expected X=PATH or X:TYPE=PATH");
    ASSERT_TRUE(drive_map_lookup('C', &drive));
    EXPECT_EQ(drive.directory, "/kept");
    setting_override(Setting::Drives, "e=/tmp;c:ramdisk=/tmp/");
    ASSERT_TRUE(drive_map_load(&loaded, &error)) << error;
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].letter, 'E') << "in the setting's order";
    ASSERT_TRUE(drive_map_lookup('C', &drive));
    EXPECT_EQ(std::tie(drive.directory, drive.type), std::make_tuple(std::string("/tmp"), UINT{DRIVE_RAMDISK}));
    ASSERT_TRUE(drive_map_configure("C=/kept", &error)) << error;
    for (const char* entry : {"Q-/x", "=/x", "1=/x", "QQ=/x", "Q:floppy=/x", "Q=", "Q=relative", "Q:=/x", "c=/b"}) {
        EXPECT_FALSE(drive_map_configure((std::string("C=/tmp;") + entry).c_str(), &error)) << entry;
        EXPECT_EQ(error.rfind(std::string("DURANDEX_DRIVES: malformed entry \"") + entry + "\": ", 0), 0u) << error;
    }
    ASSERT_TRUE(drive_map_lookup('c', &drive));
    EXPECT_EQ(drive.directory, "/kept");
}

// Root is C:, the others follow in order of mount point up to Z:; the
// filesystem mounted last over /data is the one in use; escapes are decoded.
TEST(MountsTableTest, LettersAndTypesFollowTheMountPointsAndFilesystems)
{
    std::string mounts =
        "proc /proc proc rw 0 0\nsysfs /sys sysfs rw 0 0\n/dev/vda / ext4 rw 0 0\ntmpfs /run tmpfs rw 0 0\n"
        "tmpfs /dev/shm tmpfs rw 0 0\ndevpts /dev/pts devpts rw 0 0\n/dev/sr0 /media/My\\040Disc iso9660 ro 0 0\n"
        "server:/export /net/home nfs4 rw 0 0\ncgroup2 /sys/fs/cgroup cgroup2 rw 0 0\ntmpfs /scratch tmpfs rw 0 0\n"
        "/dev/vdb /data xfs rw 0 0\n/dev/vdc /data ext4 rw 0 0\nhugetlbfs /mnt/huge hugetlbfs rw 0 0\n"
        "server:/share /mnt/share cifs rw 0 0\n";
    for (int i = 0; i < 30; ++i) {
        mounts += "/dev/x /z" + std::to_string(100 + i) + " ext4 rw 0 0\n";
    }
    const std::vector<DriveMapping> drives = drives_from_mounts(mounts);
    const std::tuple<char, std::string, std::string, UINT> expected[] = {
        {'C', "/", "ext4", DRIVE_FIXED},           {'D', "/data", "ext4", DRIVE_FIXED},
        {'E', "/dev/shm", "tmpfs", DRIVE_RAMDISK}, {'F', "/media/My Disc", "iso9660", DRIVE_CDROM},
        {'G', "/mnt/share", "cifs", DRIVE_REMOTE}, {'H', "/net/home", "nfs4", DRIVE_REMOTE},
        {'I', "/scratch", "tmpfs", DRIVE_RAMDISK}, {'J', "/z100", "ext4", DRIVE_FIXED}};
    ASSERT_EQ(drives.size(), 24u);
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(std::tie(drives[i].letter, drives[i].directory, drives[i].fs_type, drives[i].type), expected[i]);
    }
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().directory, "/z116");
}

class TranslatePathTest : public DriveTest {};

// A refused path gives its code and leaves the native path as it was.
TEST_F(TranslatePathTest, DrivePathsBecomePathsUnderTheDirectoryOrGiveTheirCodes)
{
    const std::string longest = "C:\\" + std::string(MAX_PATH - 4, 'a');
    const std::string not_found = std::to_string(ERROR_PATH_NOT_FOUND), bad_name = std::to_string(ERROR_INVALID_NAME);
    const std::pair<std::string, std::string> cases[] = {
        {"c:\\a\\b", c_dir_ + "/a/b"},   {"D:/a//b\\", d_dir_ + "/a/b"}, {"C:\\", c_dir_},
        {"C:\\a\\.\\b\\..\\c", c_dir_ + "/a/c"}, {longest, c_dir_ + "/" + longest.substr(3)},
        {"C:\\..\\d\\x", not_found}, {"C:\\a\\..\\..\\x", not_found}, {"Q:\\x", not_found},
        {"relative\\x", not_found},  {"C:\\a*b", bad_name}, {"C:\\a?b", bad_name}, {"C:\\a:b", bad_name},
        {"C:\\a|b", bad_name}, {"C:\\a<b", bad_name}, {"C:\\a\"b", bad_name},
        {longest + "a", std::to_string(ERROR_FILENAME_EXCED_RANGE)}};
    for (const auto& [path, expected] : cases) {
        std::string native = "unchanged";
        DWORD code = sentinel;
        const bool translated = translate_path(path.c_str(), &native, &code);
        EXPECT_EQ(translated ? native : std::to_string(code), expected) << path;
        EXPECT_TRUE(translated || native == "unchanged") << path;
    }
}

}  // namespace
