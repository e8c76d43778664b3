#include "temp_drives.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "records/allocation.h"
#include "records/run_settings.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "platform/ui_test_seams.h"

TempDrives::TempDrives()
{
    char pattern[] = "/tmp/durandex-drives-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    root_ = pattern;
    snprintf(run_settings.machine_name, sizeof run_settings.machine_name, "TESTHOST");
    run_settings.task_list = nullptr;
    run_settings.drive_list = nullptr;
}

TempDrives::~TempDrives()
{
    release_records();
    for (const std::string& mount_point : mounts_) {
        umount2(mount_point.c_str(), MNT_DETACH);
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

// Copies fill a target's free space: as root a drive is a bounded tmpfs, so
// that no test fills the machine's own filesystem.
std::string TempDrives::add_drive(char letter, UINT type)
{
    const std::string directory = root_ + "/" + letter;
    std::filesystem::create_directories(directory);
    if (geteuid() == 0 && mount("tmpfs", directory.c_str(), "tmpfs", 0, "size=96m") == 0) {
        mounts_.push_back(directory);
    }
    return map_drive(letter, type, directory);
}

std::string TempDrives::add_tmpfs_drive(char letter, ULONGLONG bytes, std::string* why)
{
    std::string directory = root_ + "/" + letter;
    std::filesystem::create_directories(directory);
    if (geteuid() != 0 || mount("tmpfs", directory.c_str(), "tmpfs", 0, ("size=" + std::to_string(bytes)).c_str()) != 0) {
        *why = geteuid() != 0 ? "needs root to mount a tmpfs" : std::string("tmpfs mount refused: ") + strerror(errno);
        return "";
    }
    mounts_.push_back(directory);
    return map_drive(letter, DRIVE_RAMDISK, directory);
}

std::string TempDrives::add_ext4_drive(char letter, ULONGLONG bytes, std::string* why)
{
    const std::string directory = root_ + "/" + letter, image = directory + ".img";
    std::filesystem::create_directories(directory);
    *why = loop_mount_ext4(image, directory, std::to_string(bytes));
    if (!why->empty()) {
        return "";
    }
    mounts_.push_back(directory);
    // Mapped only now: a drive keeps the device of the directory it was mapped on.
    return map_drive(letter, DRIVE_FIXED, directory);
}

std::string TempDrives::map_drive(char letter, UINT type, const std::string& directory)
{
    static const std::map<UINT, const char*> type_names = {{DRIVE_FIXED, "fixed"}, {DRIVE_REMOVABLE, "removable"},
        {DRIVE_REMOTE, "remote"}, {DRIVE_CDROM, "cdrom"}, {DRIVE_RAMDISK, "ramdisk"}};
    directories_[letter] = {directory, type};
    std::string setting, error;
    for (auto& [mapped, entry] : directories_) {
        setting += std::string(1, mapped) + ":" + type_names.at(entry.second) + "=" + entry.first + ";";
    }
    if (!drive_map_configure(setting.c_str(), &error)) {
        throw std::runtime_error("drive map refused " + setting + ": " + error);
    }
    add_drive_record(letter, type);
    return directory;
}

std::string TempDrives::native(const std::string& windows_path) const
{
    std::string native_path;
    DWORD code = 0;
    if (!translate_path(windows_path.c_str(), &native_path, &code)) {
        throw std::runtime_error("no native path for " + windows_path);
    }
    return native_path;
}

// XORs `mask` into the byte at `offset` of every 4 KiB of `file` on `image`,
// the raw device under its filesystem, where FIEMAP (which writes the file
// out first) places it; then drops the file's cached pages, so that its next
// read comes from the damaged device. Returns how many bytes were flipped.
size_t flip_on_the_device(const std::string& file, const std::string& image, off_t offset, char mask)
{
    constexpr __u32 most_extents = 64;
    std::vector<char> buffer(sizeof(fiemap) + most_extents * sizeof(fiemap_extent));
    fiemap* map = reinterpret_cast<fiemap*>(buffer.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = most_extents;
    const int fd = open(file.c_str(), O_RDONLY), raw = open(image.c_str(), O_RDWR);
    const __u64 size = static_cast<__u64>(lseek(fd, 0, SEEK_END));
    const bool placed = ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    size_t flipped = 0;
    for (__u64 at = offset; placed && at < size; at += 4096) {
        for (const fiemap_extent* extent = map->fm_extents; extent < map->fm_extents + map->fm_mapped_extents; ++extent) {
            const off_t physical = static_cast<off_t>(extent->fe_physical + at - extent->fe_logical);
            char byte = 0;
            if (at - extent->fe_logical < extent->fe_length && pread(raw, &byte, 1, physical) == 1) {
                byte = static_cast<char>(byte ^ mask);
                flipped += pwrite(raw, &byte, 1, physical) == 1 ? 1 : 0;
            }
        }
    }
    fsync(raw);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(raw);
    close(fd);
    return flipped;
}

const double rig_time_scale = 100.0;

void WorkerRig::fault_next_comparison(const std::string& source, std::function<void(const std::string&)> on_box)
{
    snprintf(task->log_path, MAX_PATH, "D:\\later\\log");
    const std::string later = drives.directory('D') + "/later";
    set_message_box_observer([=](HWND, const char* text, const char* caption, UINT) {
        const std::string box = std::string(caption) + "|" + text;
        if (box.rfind("Durandex Log Error|", 0) == 0 && mkdir(later.c_str(), 0755) == 0) {
            truncate(source.c_str(), 0);
        } else {
            on_box(box);
        }
    });
    fault_arm("MapViewOfFile", 1, ERROR_NOT_ENOUGH_MEMORY);
}

