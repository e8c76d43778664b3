#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drive_fixture.h"
#include "drives/inventory.h"
#include "engine/run_settings.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"

namespace {

struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

void expect_no_volume_data(const Drive* drive)
{
    EXPECT_STREQ(drive->volume_name, "") << drive->root_path;
    EXPECT_STREQ(drive->fs_name, "") << drive->root_path;
    EXPECT_EQ(drive->sectors_per_cluster.load(), 0u) << drive->root_path;
    EXPECT_EQ(drive->bytes_per_sector.load(), 0u) << drive->root_path;
    EXPECT_EQ(drive->free_clusters.load(), 0u) << drive->root_path;
    EXPECT_EQ(drive->total_clusters.load(), 0u) << drive->root_path;
}

class Inventory : public DriveFixture {
protected:
    void SetUp() override
    {
        DriveFixture::SetUp();
        system_fix_computer_name("WORKSTATION7");
    }
};

}  // namespace

TEST_F(Inventory, ListRunsFromTheLowestLetterWithButtonIdsInOrder)
{
    map_drives("R:ramdisk=" + make_directory("r") + ";A:removable=" + make_directory("a") +
               ";D=" + make_directory("d") + ";C=" + make_directory("c") + ";E:cdrom=" + make_directory("e") +
               ";F:remote=" + make_directory("f"));
    inventory_drives();

    const std::vector<std::pair<const char*, UINT>> expected = {
        {"A:\\", DRIVE_REMOVABLE}, {"C:\\", DRIVE_FIXED},  {"D:\\", DRIVE_FIXED},
        {"E:\\", DRIVE_CDROM},     {"F:\\", DRIVE_REMOTE}, {"R:\\", DRIVE_RAMDISK}};
    std::vector<Drive*> drives = drive_records();
    ASSERT_EQ(drives.size(), expected.size()) << "letters without a mapping get no record";
    for (size_t index = 0; index < drives.size(); ++index) {
        const Drive* drive = drives[index];
        EXPECT_STREQ(drive->root_path, expected[index].first);
        EXPECT_EQ(drive->drive_type, expected[index].second) << drive->root_path;
        EXPECT_EQ(drive->button_id, 400 + index) << drive->root_path;
        EXPECT_EQ(drive->target_task_count.load(), 0);
        std::string dir_path = std::string(expected[index].first) + "durandex\\WORKSTAT";
        EXPECT_STREQ(drive->dir_path, dir_path.c_str());
    }
    EXPECT_STREQ(run_settings.machine_name, "WORKSTATION7") << "the machine name is kept whole";

    // Removable, CD-ROM and remote drives are read when clicked; the others
    // at once.
    for (size_t index : {0, 3, 4}) {
        expect_no_volume_data(drives[index]);
    }
    for (size_t index : {1, 2, 5}) {
        EXPECT_STRNE(drives[index]->fs_name, "") << drives[index]->root_path;
        EXPECT_EQ(drives[index]->bytes_per_sector.load(), 512u) << drives[index]->root_path;
        EXPECT_GT(total_bytes(drives[index]), 0u) << drives[index]->root_path;
    }
}

TEST_F(Inventory, RamdiskOfKnownSizeIsMeasuredExactly)
{
    std::string why;
    std::string directory = make_tmpfs("ram", "8m", &why);
    if (directory.empty()) {
        GTEST_SKIP() << why;
    }
    map_drives("R:ramdisk=" + directory);
    inventory_drives();
    std::vector<Drive*> drives = drive_records();
    ASSERT_EQ(drives.size(), 1u);
    const Drive* ramdisk = drives[0];
    EXPECT_STREQ(ramdisk->fs_name, "TMPFS");
    EXPECT_STREQ(ramdisk->volume_name, "");
    EXPECT_EQ(total_bytes(ramdisk), 8u << 20);
    EXPECT_GT(free_bytes(ramdisk), 0u);
    EXPECT_LE(free_bytes(ramdisk), total_bytes(ramdisk));
}

TEST_F(Inventory, UnknownMachineWhenTheNameCannotBeRead)
{
    map_drives("C=" + make_directory("c"));
    fault_arm("GetComputerNameA", 1, ERROR_ACCESS_DENIED);
    inventory_drives();
    EXPECT_STREQ(run_settings.machine_name, "Unknown");
    std::vector<Drive*> drives = drive_records();
    ASSERT_EQ(drives.size(), 1u);
    EXPECT_STREQ(drives[0]->dir_path, "C:\\durandex\\Unknown");
}

// The host name may be longer than a Windows computer name: it is kept whole
// for the run summary and cut only in the run directory.
TEST_F(Inventory, RunDirectoryTakesAtMostEightCharacters)
{
    const std::string long_name(63, 'h');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"PC1", "C:\\durandex\\PC1"}, {"ABCDEFGH", "C:\\durandex\\ABCDEFGH"}, {long_name, "C:\\durandex\\hhhhhhhh"}};
    for (const auto& [name, dir_path] : cases) {
        map_drives("C=" + make_directory("c"));
        system_fix_computer_name(name.c_str());
        inventory_drives();
        ASSERT_NE(run_settings.drive_list, nullptr);
        EXPECT_EQ(std::string(run_settings.drive_list->dir_path), dir_path);
        EXPECT_EQ(std::string(run_settings.machine_name), name);
        TearDown();
        SetUp();
    }
}

TEST_F(Inventory, NoDrivesGiveAnEmptyList)
{
    map_drives("");
    inventory_drives();
    EXPECT_EQ(run_settings.drive_list, nullptr);
    EXPECT_STREQ(run_settings.machine_name, "WORKSTATION7");
}

TEST_F(Inventory, FailedAllocationIsShownAndThatDriveSkipped)
{
    map_drives("C=" + make_directory("c") + ";D=" + make_directory("d") + ";E=" + make_directory("e"));
    HWND main_window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));
    run_settings.main_window.store(main_window);
    std::vector<ShownBox> boxes;
    set_message_box_observer([&boxes](HWND owner, const char* text, const char* caption, UINT type) {
        boxes.push_back(ShownBox{owner, text, caption, type});
    });
    // Letters go from Z down, so the first allocation is E's.
    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    ::testing::internal::CaptureStderr();
    inventory_drives();
    ::testing::internal::GetCapturedStderr();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, main_window);
    EXPECT_EQ(boxes[0].text, "Memory Alloc for Drive structure failed.");
    EXPECT_EQ(boxes[0].caption, "Durandex");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));

    std::vector<Drive*> drives = drive_records();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_STREQ(drives[0]->root_path, "C:\\");
    EXPECT_STREQ(drives[1]->root_path, "D:\\");
    EXPECT_EQ(drives[0]->button_id, 400);
    EXPECT_EQ(drives[1]->button_id, 401);
}
