#include "drive_fixture.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "engine/records.h"
#include "engine/run_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_seam.h"

void DriveFixture::SetUp()
{
    char pattern[] = "/tmp/durandex-drives-XXXXXX";
    const char* made = mkdtemp(pattern);
    ASSERT_NE(made, nullptr) << std::strerror(errno);
    root_ = made;
}

void DriveFixture::TearDown()
{
    for (Drive* drive : drive_records()) {
        free_record(drive);
    }
    run_settings.drive_list = nullptr;
    run_settings.machine_name[0] = '\0';
    run_settings.main_window.store(nullptr);
    std::string error;
    drive_map_configure("", &error);
    system_fix_computer_name(nullptr);
    set_message_box_observer(nullptr);
    fault_reset();
    for (const std::string& mount_point : mounts_) {
        umount2(mount_point.c_str(), MNT_DETACH);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string DriveFixture::make_directory(const std::string& name)
{
    std::string path = root_ + "/" + name;
    std::filesystem::create_directories(path);
    return path;
}

std::string DriveFixture::make_tmpfs(const std::string& name, const std::string& size, std::string* why)
{
    if (geteuid() != 0) {
        *why = "mounting a tmpfs needs root";
        return "";
    }
    std::string path = make_directory(name);
    std::string options = "size=" + size;
    if (mount("durandex-test", path.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        *why = std::string("the kernel refused a tmpfs of ") + size + ": " + std::strerror(errno);
        return "";
    }
    mounts_.push_back(path);
    return path;
}

void DriveFixture::map_drives(const std::string& setting)
{
    std::string error;
    ASSERT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
}

std::vector<Drive*> DriveFixture::drive_records()
{
    std::vector<Drive*> drives;
    for (Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        drives.push_back(drive);
    }
    return drives;
}
