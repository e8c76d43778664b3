#include <cstring>

#include "drives_fixture.h"

namespace {

using Inventory = DrivesTest;

// Removable, CD-ROM and remote drives are read when clicked; the others at
// once. Letters go from Z down, so the failed first allocation is S's. The
// host name is kept whole for the run summary and cut to eight characters
// only in the run directory; "" stands for a name that cannot be read.
TEST_F(Inventory, ListRunsFromTheLowestLetterAndTheRunDirectoryTakesEightCharactersOfTheMachineName)
{
    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    inventory("R:ramdisk A:removable D C E:cdrom S:remote F:remote");
    EXPECT_EQ(boxes_, "Durandex|Memory Alloc for Drive structure failed.|" + std::to_string(MB_ICONINFORMATION) + "\n");
    const std::pair<const char*, UINT> expected[] = {
        {"A:\\", DRIVE_REMOVABLE}, {"C:\\", DRIVE_FIXED},  {"D:\\", DRIVE_FIXED},
        {"E:\\", DRIVE_CDROM},     {"F:\\", DRIVE_REMOTE}, {"R:\\", DRIVE_RAMDISK}};
    WORD index = 0;
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next, ++index) {
        ASSERT_LT(index, std::size(expected)) << "letters without a mapping get no record";
        EXPECT_STREQ(drive->root_path, expected[index].first);
        EXPECT_EQ(drive->drive_type, expected[index].second) << drive->root_path;
        EXPECT_EQ(drive->button_id, 400 + index) << drive->root_path;
        EXPECT_EQ(std::string(drive->dir_path), std::string(expected[index].first) + "durandex\\WORKSTAT");
        const bool read_at_once = drive->drive_type == DRIVE_FIXED || drive->drive_type == DRIVE_RAMDISK;
        EXPECT_EQ(drive->fs_name[0] != '\0', read_at_once) << drive->root_path;
        EXPECT_EQ(total_bytes(drive) > 0, read_at_once) << drive->root_path;
    }
    EXPECT_EQ(index, std::size(expected));
    const std::pair<std::string, std::string> names[] = {{std::string(63, 'h'), "hhhhhhhh"}, {"", "Unknown"}};
    for (const auto& [name, cut] : names) {
        forget_records();
        system_fix_computer_name(name.c_str());
        fault_arm("GetComputerNameA", name.empty() ? 1 : 0, ERROR_ACCESS_DENIED);
        inventory("C");
        EXPECT_EQ(std::string(run_settings.drive_list->dir_path), "C:\\durandex\\" + cut);
        EXPECT_EQ(std::string(run_settings.machine_name), name.empty() ? "Unknown" : name);
    }
}

// Byte counts are formed in 64 bits; a refresh that fails keeps the old
// geometry and leaves the call's own code. Real tmpfs sizes are measured by
// the dialog and copy worker tests.
TEST_F(Inventory, ByteCountsAreFormedIn64BitsAndKeptOnAFailedRefresh)
{
    // Q: is unmapped whatever the machine has mounted.
    std::string error;
    ASSERT_TRUE(drive_map_configure("C=/", &error)) << error;
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
}

}  // namespace
