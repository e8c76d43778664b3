// Which block device holds a drive's filesystem, and the physical disks
// behind it, read from sysfs: what a log collector needs to tell which disk
// of a rack a drive letter's errors came from.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

// A disk at the bottom of the block-device stack (no slaves of its own).
// Texts are empty where sysfs does not have them.
struct PhysicalDisk {
    std::string node;          // "/dev/vda"
    std::string major_minor;   // "254:0"
    std::string model;
    std::string vendor;
    std::string serial;
    std::string wwn;
    ULONGLONG size_bytes = 0;
    bool rotational = false;
    bool removable = false;
    std::string backing_file;  // a loop device's file
};

struct DiskIdentity {
    std::string fs_type;
    bool block_device = false;  // FALSE for tmpfs, network filesystems and the like
    std::string device;         // the filesystem's device: "/dev/vda1", "/dev/dm-0"
    std::string major_minor;
    // Partitions resolve to their disk; device-mapper and md devices to every
    // disk beneath them.
    std::vector<PhysicalDisk> disks;
};

// The identity of the filesystem that holds `directory`.
DiskIdentity disk_identity_of(const std::string& directory);

// "ext4 on /dev/vda1 254:1 (disk /dev/vda 254:0 ...)" or
// "no block device (tmpfs)", for one line of output.
std::string disk_identity_text(const DiskIdentity& identity);
