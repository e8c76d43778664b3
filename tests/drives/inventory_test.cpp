#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "records/drive.h"
#include "drives/inventory.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"

namespace {

// Drive letters mapped to temporary directories or tmpfs mounts (root
// only); the drive list, machine name and seams are restored afterwards.
class Inventory : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/durandex-drives-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
        root_ = pattern;
        system_fix_computer_name("WORKSTATION7");
    }

    void TearDown() override
    {
        free_drive_list();
        run_settings.machine_name[0] = '\0';
        run_settings.main_window.store(nullptr);
        map_drives("");
        system_fix_computer_name(nullptr);
        set_message_box_observer(nullptr);
        fault_reset();
        for (const std::string& mount_point : mounts_) {
            umount2(mount_point.c_str(), MNT_DETACH);
        }
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::string make_directory(const std::string& name)
    {
        std::filesystem::create_directories(root_ + "/" + name);
        return root_ + "/" + name;
    }

    // A tmpfs of `size` ("8m"); "" with the reason in *why when not root or refused.
    std::string make_tmpfs(const std::string& name, const std::string& size, std::string* why)
    {
        std::string path = make_directory(name);
        if (geteuid() != 0 || mount("durandex-test", path.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
            *why = geteuid() != 0 ? "mounting a tmpfs needs root" : std::string("tmpfs refused: ") + std::strerror(errno);
            return "";
        }
        mounts_.push_back(path);
        return path;
    }

    void map_drives(const std::string& setting)
    {
        std::string error;
        ASSERT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
    }

    // The records of run_settings.drive_list, head first.
    static std::vector<Drive*> drive_records()
    {
        std::vector<Drive*> drives;
        for (Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
            drives.push_back(drive);
        }
        return drives;
    }

    static void free_drive_list()
    {
        for (Drive* drive : drive_records()) {
            free_record(drive);
        }
        run_settings.drive_list = nullptr;
    }

private:
    std::string root_;
    std::vector<std::string> mounts_;
};

void expect_no_volume_data(const Drive* drive)
{
    EXPECT_STREQ(drive->volume_name, "") << drive->root_path;
    EXPECT_STREQ(drive->fs_name, "") << drive->root_path;
    EXPECT_EQ(drive->sectors_per_cluster.load() | drive->bytes_per_sector.load() | drive->free_clusters.load() |
                  drive->total_clusters.load(),
              0u)
        << drive->root_path;
}

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
        EXPECT_EQ(std::string(drive->dir_path), std::string(expected[index].first) + "durandex\\WORKSTAT");
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

// A ramdisk is measured at once and follows what is written; a removable
// drive is read when clicked and keeps what it showed once its medium is gone.
TEST_F(Inventory, TmpfsDrivesAreMeasuredExactly)
{
    std::string why;
    std::string ram = make_tmpfs("ram", "16m", &why);
    std::string stick = ram.empty() ? "" : make_tmpfs("stick", "4m", &why);
    if (stick.empty()) {
        GTEST_SKIP() << why;
    }
    map_drives("R:ramdisk=" + ram + ";A:removable=" + stick);
    inventory_drives();
    std::vector<Drive*> drives = drive_records();
    ASSERT_EQ(drives.size(), 2u);
    Drive* removable = drives[0];
    Drive* ramdisk = drives[1];
    EXPECT_STREQ(ramdisk->fs_name, "TMPFS");
    EXPECT_STREQ(ramdisk->volume_name, "");
    EXPECT_EQ(total_bytes(ramdisk), 16ull << 20);
    ULONGLONG before = free_bytes(ramdisk);
    std::ofstream(ram + "/fill", std::ios::binary) << std::string(4 << 20, 'x');
    ASSERT_TRUE(refresh_free_space(ramdisk));
    EXPECT_EQ(before - free_bytes(ramdisk), 4ull << 20);
    expect_no_volume_data(removable);
    for (const char* medium : {"present", "gone"}) {
        read_volume_data(removable);
        EXPECT_STREQ(removable->fs_name, "TMPFS") << medium;
        EXPECT_EQ(total_bytes(removable), 4ull << 20) << medium;
        map_drives("");
    }
}

// The host name may be longer than a Windows computer name: it is kept whole
// for the run summary and cut only in the run directory. "" stands for a name
// that cannot be read.
TEST_F(Inventory, RunDirectoryTakesAtMostEightCharactersOfTheMachineName)
{
    const std::string long_name(63, 'h');
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"PC1", "PC1"}, {"ABCDEFGH", "ABCDEFGH"}, {long_name, "hhhhhhhh"}, {"", "Unknown"}};
    map_drives("C=" + make_directory("c"));
    for (const auto& [name, directory] : cases) {
        system_fix_computer_name(name.c_str());
        if (name.empty()) {
            fault_arm("GetComputerNameA", 1, ERROR_ACCESS_DENIED);
        }
        inventory_drives();
        std::vector<Drive*> drives = drive_records();
        ASSERT_EQ(drives.size(), 1u);
        EXPECT_EQ(std::string(drives[0]->dir_path), "C:\\durandex\\" + directory);
        EXPECT_EQ(std::string(run_settings.machine_name), name.empty() ? "Unknown" : name);
        free_drive_list();
    }
    system_fix_computer_name("WORKSTATION7");
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
    std::vector<std::string> boxes;
    set_message_box_observer([&](HWND owner, const char* text, const char* caption, UINT type) {
        boxes.push_back(std::string(owner == main_window ? "main|" : "other|") + caption + "|" + text + "|" +
                        std::to_string(type));
    });
    // Letters go from Z down, so the first allocation is E's.
    fault_arm("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    ::testing::internal::CaptureStderr();
    inventory_drives();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(boxes, std::vector<std::string>{"main|Durandex|Memory Alloc for Drive structure failed.|" +
                                              std::to_string(MB_ICONINFORMATION)});
    std::vector<Drive*> drives = drive_records();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_STREQ(drives[0]->root_path, "C:\\");
    EXPECT_STREQ(drives[1]->root_path, "D:\\");
    EXPECT_EQ(drives[0]->button_id, 400);
    EXPECT_EQ(drives[1]->button_id, 401);
}

TEST_F(Inventory, ByteCountsAreFormedIn64BitsAndKeptOnAFailedRefresh)
{
    Drive* drive = allocate_record<Drive>();
    auto set_geometry = [drive](DWORD sectors_per_cluster, DWORD bytes_per_sector, DWORD free, DWORD total) {
        drive->sectors_per_cluster.store(sectors_per_cluster);
        drive->bytes_per_sector.store(bytes_per_sector);
        drive->free_clusters.store(free);
        drive->total_clusters.store(total);
    };
    set_geometry(8, 512, 0x80000000u, 0xFFFFFFFFu);
    EXPECT_EQ(free_bytes(drive), 8ull * 512 * 0x80000000ull);
    EXPECT_EQ(total_bytes(drive), 8ull * 512 * 0xFFFFFFFFull);
    set_geometry(1, 512, 3, 10);
    EXPECT_EQ(free_bytes(drive), 1536u);
    EXPECT_EQ(total_bytes(drive), 5120u);

    // A refresh that fails keeps the old geometry.
    map_drives("");
    set_geometry(8, 512, 100, 200);
    std::strcpy(drive->root_path, "Q:\\");
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(refresh_free_space(drive));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "the call's own code is left";
    EXPECT_EQ(free_bytes(drive), 8u * 512 * 100);
    EXPECT_EQ(total_bytes(drive), 8u * 512 * 200);
    free_record(drive);
}

}  // namespace
