#include "platform/disk_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "platform/drive_map.h"

namespace {

// The first line of a sysfs attribute, without trailing blanks; empty when
// the attribute is missing.
std::string sysfs_value(const std::filesystem::path& path)
{
    std::ifstream stream(path);
    std::string line;
    std::getline(stream, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\t')) {
        line.pop_back();
    }
    return line;
}

std::string major_minor_of(dev_t device)
{
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// The device's directory under /sys/devices, resolved; empty when the
// kernel has no block device with that number.
std::filesystem::path sysfs_directory_of(const std::string& major_minor)
{
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::canonical("/sys/dev/block/" + major_minor, error);
    return error ? std::filesystem::path() : resolved;
}

// A partition's own directory sits inside its disk's.
std::filesystem::path whole_disk_of(const std::filesystem::path& device)
{
    return std::filesystem::exists(device / "partition") ? device.parent_path() : device;
}

// Disks carry their identity either beside the queue (virtio's serial, nvme's
// wwid) or on the SCSI device below.
std::string first_value(const std::filesystem::path& disk, std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const std::string value = sysfs_value(disk / name);
        if (!value.empty()) {
            return value;
        }
    }
    return "";
}

PhysicalDisk physical_disk_of(const std::filesystem::path& disk)
{
    PhysicalDisk result;
    result.node = "/dev/" + disk.filename().string();
    result.major_minor = sysfs_value(disk / "dev");
    result.model = first_value(disk, {"device/model", "model"});
    result.vendor = first_value(disk, {"device/vendor"});
    result.serial = first_value(disk, {"device/serial", "serial", "device/vpd_pg80"});
    result.wwn = first_value(disk, {"device/wwid", "wwid", "device/wwn"});
    result.size_bytes = std::strtoull(sysfs_value(disk / "size").c_str(), nullptr, 10) * 512;
    result.rotational = sysfs_value(disk / "queue/rotational") == "1";
    result.removable = sysfs_value(disk / "removable") == "1";
    result.backing_file = sysfs_value(disk / "loop/backing_file");
    return result;
}

// Every disk at the bottom of the stack under `device`; a stack is shallow,
// so the depth bound only guards against a cycle.
void collect_disks(const std::filesystem::path& device, int depth, std::vector<PhysicalDisk>* disks)
{
    const std::filesystem::path disk = whole_disk_of(device);
    std::error_code error;
    std::vector<std::filesystem::path> slaves;
    for (const auto& entry : std::filesystem::directory_iterator(disk / "slaves", error)) {
        slaves.push_back(std::filesystem::canonical(entry.path(), error));
    }
    if (slaves.empty() || depth > 8) {
        // Two partitions of one disk in the same array name the disk once.
        PhysicalDisk found = physical_disk_of(disk);
        const auto same = [&](const PhysicalDisk& known) { return known.node == found.node; };
        if (std::none_of(disks->begin(), disks->end(), same)) {
            disks->push_back(found);
        }
        return;
    }
    std::sort(slaves.begin(), slaves.end());
    for (const std::filesystem::path& slave : slaves) {
        collect_disks(slave, depth + 1, disks);
    }
}

// The filesystem's device number: st_dev, or for filesystems that report an
// anonymous one (btrfs) the device node named in the mounts table.
bool block_device_of(const std::string& directory, const MountEntry& mount, std::string* major_minor)
{
    struct stat status {};
    if (stat(directory.c_str(), &status) != 0) {
        return false;
    }
    if (major(status.st_dev) != 0) {
        *major_minor = major_minor_of(status.st_dev);
        return !sysfs_directory_of(*major_minor).empty();
    }
    struct stat node {};
    if (mount.device.rfind("/dev/", 0) == 0 && stat(mount.device.c_str(), &node) == 0 && S_ISBLK(node.st_mode)) {
        *major_minor = major_minor_of(node.st_rdev);
        return !sysfs_directory_of(*major_minor).empty();
    }
    return false;
}

std::string size_text(ULONGLONG bytes)
{
    char text[32];
    if (bytes >= (1ull << 30)) {
        std::snprintf(text, sizeof text, "%.1f GiB", bytes / double(1ull << 30));
    } else {
        std::snprintf(text, sizeof text, "%llu MiB", static_cast<unsigned long long>(bytes >> 20));
    }
    return text;
}

std::string physical_disk_text(const PhysicalDisk& disk)
{
    std::string text = "disk " + disk.node + " " + disk.major_minor;
    for (const auto& [name, value] : {std::pair<const char*, const std::string&>{"vendor", disk.vendor},
                                      {"model", disk.model},
                                      {"serial", disk.serial},
                                      {"wwn", disk.wwn},
                                      {"backing file", disk.backing_file}}) {
        if (!value.empty()) {
            text += std::string(" ") + name + " " + value;
        }
    }
    text += ", " + size_text(disk.size_bytes);
    text += disk.rotational ? ", rotational" : ", non-rotational";
    if (disk.removable) {
        text += ", removable";
    }
    return text;
}

}  // namespace

DiskIdentity disk_identity_of(const std::string& directory)
{
    DiskIdentity identity;
    MountEntry mount;
    if (mount_of_path(directory, &mount)) {
        identity.fs_type = mount.fs_type;
    }
    std::string major_minor;
    if (!block_device_of(directory, mount, &major_minor)) {
        return identity;
    }
    const std::filesystem::path device = sysfs_directory_of(major_minor);
    identity.block_device = true;
    identity.device = "/dev/" + device.filename().string();
    identity.major_minor = major_minor;
    collect_disks(device, 0, &identity.disks);
    return identity;
}

std::string disk_identity_text(const DiskIdentity& identity)
{
    const std::string fs_type = identity.fs_type.empty() ? "unknown filesystem" : identity.fs_type;
    if (!identity.block_device) {
        return "no block device (" + fs_type + ")";
    }
    std::string text = fs_type + " on " + identity.device + " " + identity.major_minor + " (";
    for (size_t index = 0; index < identity.disks.size(); ++index) {
        text += (index > 0 ? "; " : "") + physical_disk_text(identity.disks[index]);
    }
    return text + ")";
}
