#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "drives/inventory.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"

namespace {

// Drive letters mapped to temporary directories or tmpfs mounts (root only);
// the drive list, machine name and seams are restored afterwards.
class Inventory : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/durandex-drives-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        system_fix_computer_name("WORKSTATION7");
    }

    void TearDown() override
    {
        free_drive_list();
        run_settings.machine_name[0] = '\0';
        map_drives("");
        system_fix_computer_name(nullptr);
        set_message_box_observer(nullptr);
        fault_reset();
        for (const std::string& mount_point : mounts_) {
            umount2(mount_point.c_str(), MNT_DETACH);
        }
        std::filesystem::remove_all(root_);
    }

    // A fresh directory, or with `tmpfs_size` ("4m") a tmpfs: "" when not root or refused.
    std::string directory(const std::string& name, const char* tmpfs_size = nullptr)
    {
        std::string path = root_ + "/" + name;
        std::filesystem::create_directories(path);
        if (tmpfs_size != nullptr) {
            if (mount("durandex-test", path.c_str(), "tmpfs", 0, (std::string("size=") + tmpfs_size).c_str()) != 0) {
                return "";
            }
            mounts_.push_back(path);
        }
        return path;
    }

    void map_drives(const std::string& setting)
    {
        std::string error;
        ASSERT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
    }

    static void free_drive_list()
    {
        for (Drive* drive; (drive = run_settings.drive_list) != nullptr; free_record(drive)) {
            run_settings.drive_list = drive->next;
        }
    }

private:
    std::string root_;
    std::vector<std::string> mounts_;
};

// Removable, CD-ROM and remote drives are read when clicked; the others at
// once. Letters go from Z down, so the failed first allocation is R's.
TEST_F(Inventory, ListRunsFromTheLowestLetterWithButtonIdsInOrderAndSkipsAFailedAllocation)
{
    map_drives("R:ramdisk=" + directory("r") + ";A:removable=" + directory("a") + ";D=" + directory("d") +
               ";C=" + directory("c") + ";E:cdrom=" + directory("e") + ";F:remote=" + directory("f"));
    std::vector<std::string> boxes;
    set_message_box_observer([&](HWND, const char* text, const char* caption, UINT type) {
        boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
    });
    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    inventory_drives();
    EXPECT_EQ(boxes, std::vector<std::string>{"Durandex|Memory Alloc for Drive structure failed.|" +
                                              std::to_string(MB_ICONINFORMATION)});
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
// geometry and leaves the call's own code. A ramdisk is measured at once and
// follows what is written; a removable drive is read when clicked and keeps
// what it showed once its medium is gone.
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
    std::string ram = geteuid() == 0 ? directory("ram", "16m") : "";
    std::string stick = ram.empty() ? "" : directory("stick", "4m");
    if (stick.empty()) {
        GTEST_SKIP() << "no tmpfs: needs root";
    }
    map_drives("R:ramdisk=" + ram + ";A:removable=" + stick);
    inventory_drives();
    Drive* removable = run_settings.drive_list;
    Drive* ramdisk = removable->next;
    EXPECT_STREQ(ramdisk->fs_name, "TMPFS");
    EXPECT_EQ(total_bytes(ramdisk), 16ull << 20);
    ULONGLONG before = free_bytes(ramdisk);
    std::ofstream(ram + "/fill", std::ios::binary) << std::string(4 << 20, 'x');
    ASSERT_TRUE(refresh_free_space(ramdisk));
    EXPECT_EQ(before - free_bytes(ramdisk), 4ull << 20);
    EXPECT_EQ(total_bytes(removable), 0u);
    for (const char* medium : {"present", "gone"}) {
        read_volume_data(removable);
        EXPECT_STREQ(removable->fs_name, "TMPFS") << medium;
        EXPECT_EQ(total_bytes(removable), 4ull << 20) << medium;
        map_drives("");
    }
}

// The host name is kept whole for the run summary and cut to eight characters
// only in the run directory; "" stands for a name that cannot be read. With no
// drive mapped the list is empty.
TEST_F(Inventory, RunDirectoryTakesAtMostEightCharactersOfTheMachineName)
{
    const std::pair<std::string, std::string> cases[] = {
        {"ABCDEFGH", "ABCDEFGH"}, {std::string(63, 'h'), "hhhhhhhh"}, {"", "Unknown"}};
    map_drives("C=" + directory("c"));
    for (const auto& [name, cut] : cases) {
        system_fix_computer_name(name.c_str());
        fault_arm("GetComputerNameA", name.empty() ? 1 : 0, ERROR_ACCESS_DENIED);
        inventory_drives();
        EXPECT_EQ(std::string(run_settings.drive_list->dir_path), "C:\\durandex\\" + cut);
        EXPECT_EQ(std::string(run_settings.machine_name), name.empty() ? "Unknown" : name);
        free_drive_list();
    }
    map_drives("");
    inventory_drives();
    EXPECT_EQ(run_settings.drive_list, nullptr);
}

}  // namespace
