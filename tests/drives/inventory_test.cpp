#include <cstring>
#include <fstream>

#include "drives_fixture.h"

namespace {

using Inventory = DrivesTest;

// Removable, CD-ROM and remote drives are read when clicked; the others at
// once. Letters go from Z down, so the failed first allocation is R's.
TEST_F(Inventory, ListRunsFromTheLowestLetterWithButtonIdsInOrderAndSkipsAFailedAllocation)
{
    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    inventory("R:ramdisk A:removable D C E:cdrom F:remote");
    EXPECT_EQ(boxes_, "Durandex|Memory Alloc for Drive structure failed.|" + std::to_string(MB_ICONINFORMATION) + "\n");
    const std::pair<const char*, UINT> expected[] = {
        {"A:\\", DRIVE_REMOVABLE}, {"C:\\", DRIVE_FIXED}, {"D:\\", DRIVE_FIXED}, {"E:\\", DRIVE_CDROM}, {"F:\\", DRIVE_REMOTE}};
    WORD index = 0;
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next, ++index) {
        ASSERT_LT(index, std::size(expected)) << "letters without a mapping get no record";
        EXPECT_STREQ(drive->root_path, expected[index].first);
        EXPECT_EQ(drive->drive_type, expected[index].second) << drive->root_path;
        EXPECT_EQ(drive->button_id, 400 + index) << drive->root_path;
        EXPECT_EQ(std::string(drive->dir_path), std::string(expected[index].first) + "durandex\\WORKSTAT");
        const bool read_at_once = drive->drive_type == DRIVE_FIXED;
        EXPECT_EQ(drive->fs_name[0] != '\0', read_at_once) << drive->root_path;
        EXPECT_EQ(total_bytes(drive) > 0, read_at_once) << drive->root_path;
    }
    EXPECT_EQ(index, std::size(expected));
    EXPECT_STREQ(run_settings.machine_name, "WORKSTATION7") << "the machine name is kept whole";
}

// Byte counts are formed in 64 bits; a refresh that fails keeps the old
// geometry and leaves the call's own code; a ramdisk is measured at once and
// follows what is written.
TEST_F(Inventory, DrivesAreMeasuredExactly)
{
    Drive drive{};
    drive.sectors_per_cluster = 8;
    drive.bytes_per_sector = 512;
    drive.free_clusters = 0x80000000u;
    drive.total_clusters = 0xFFFFFFFFu;
    std::strcpy(drive.root_path, "Q:\\");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(refresh_free_space(&drive));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(free_bytes(&drive), 8ull * 512 * 0x80000000ull);
    EXPECT_EQ(total_bytes(&drive), 8ull * 512 * 0xFFFFFFFFull);
    const std::string ram = tmpfs("16m");
    if (ram.empty()) {
        GTEST_SKIP() << "no tmpfs: needs root";
    }
    inventory("R:ramdisk=" + ram);
    Drive* ramdisk = run_settings.drive_list;
    EXPECT_STREQ(ramdisk->fs_name, "TMPFS");
    EXPECT_EQ(total_bytes(ramdisk), 16ull << 20);
    const ULONGLONG before = free_bytes(ramdisk);
    std::ofstream(ram + "/fill", std::ios::binary) << std::string(4 << 20, 'x');
    ASSERT_TRUE(refresh_free_space(ramdisk));
    EXPECT_EQ(before - free_bytes(ramdisk), 4ull << 20);
}

// The host name is kept whole for the run summary and cut to eight characters
// only in the run directory; "" stands for a name that cannot be read.
TEST_F(Inventory, RunDirectoryTakesAtMostEightCharactersOfTheMachineName)
{
    const std::pair<std::string, std::string> cases[] = {
        {"ABCDEFGH", "ABCDEFGH"}, {std::string(63, 'h'), "hhhhhhhh"}, {"", "Unknown"}};
    for (const auto& [name, cut] : cases) {
        system_fix_computer_name(name.c_str());
        fault_arm("GetComputerNameA", name.empty() ? 1 : 0, ERROR_ACCESS_DENIED);
        inventory("C");
        EXPECT_EQ(std::string(run_settings.drive_list->dir_path), "C:\\durandex\\" + cut);
        EXPECT_EQ(std::string(run_settings.machine_name), name.empty() ? "Unknown" : name);
        forget_records();
    }
}

}  // namespace
