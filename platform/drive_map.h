// Drive letters mapped to directories, like a dosdevices table. Set from the
// DURANDEX_DRIVES text ("C=/srv/stress;D:removable=/mnt/usb") or, without
// it, from the mounts table.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

struct DriveMapping {
    char letter;          // 'A'..'Z'
    UINT type;            // DRIVE_REMOVABLE .. DRIVE_RAMDISK
    std::string directory;
    std::string fs_type;  // as in the mounts table, where known
    // The filesystem the directory lived on when the map was set; a drive
    // whose directory did not exist then is never taken for vanished.
    bool device_known = false;
    ULONGLONG device = 0;
};

// One line of a mounts table, with its octal escapes (\040) decoded.
struct MountEntry {
    std::string device;
    std::string mount_point;
    std::string fs_type;
};

std::vector<MountEntry> parse_mounts(const std::string& mounts_text);

// The drive type of a mounted filesystem: by its fstype for CD-ROMs, remote
// and RAM disks, by sysfs for removable block devices, else fixed.
UINT drive_type_of_mount(const MountEntry& mount);

// The entry of /proc/self/mounts whose filesystem holds native_path (the
// longest mount point that contains it); FALSE when none is found.
BOOL mount_of_path(const std::string& native_path, MountEntry* mount);

// Parses a DURANDEX_DRIVES text. FALSE with a message that names the bad
// entry.
BOOL parse_drive_setting(const std::string& text, std::vector<DriveMapping>* drives,
                         std::string* error);

// The drives of a mounts table text (the format of /proc/self/mounts): "/" is
// C:, the other real filesystems follow from D: in order of mount point.
std::vector<DriveMapping> drives_from_mounts(const std::string& mounts_text);

// Sets the process-wide map from a DURANDEX_DRIVES text, or from
// /proc/self/mounts when setting is null. FALSE with a message naming the
// bad entry; the map is then left as it was.
BOOL drive_map_configure(const char* setting, std::string* error);

// Sets the process-wide map from DURANDEX_DRIVES, or from /proc/self/mounts
// when it is unset, and gives its drives in the setting's order: the program
// does this once as it starts. FALSE with a message naming the bad entry;
// the map is then left as it was.
BOOL drive_map_load(std::vector<DriveMapping>* drives, std::string* error);

// Copies the mapping of a letter (either case); FALSE when it is unmapped.
// The first use without configuration loads the map as drive_map_load does,
// except that a malformed setting then maps no drive.
BOOL drive_map_lookup(char letter, DriveMapping* mapping);

// FALSE when a drive's directory no longer lives on the filesystem it was
// found on: unmounted (even lazily) or removed, it would otherwise pass for
// the empty directory underneath.
BOOL drive_is_ready(const DriveMapping& drive);

// The drive of "X:\a\b" and its components below the drive's directory,
// with "." and ".." resolved; fails as translate_path does.
BOOL split_drive_path(LPCSTR windows_path, DriveMapping* drive, std::vector<std::string>* components,
                      DWORD* code);

// Translates "X:\a\b" (or "X:/a/b") to the native path under the drive's
// directory. FALSE with the Win32 code in *code: 3 for an unmapped letter or
// a path that would leave its drive, 21 for a drive that is not ready, 123 for a malformed name, 206 when too
// long.
BOOL translate_path(LPCSTR windows_path, std::string* native_path, DWORD* code);
