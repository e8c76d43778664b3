// What Windows tells of a drive's filesystem: its type and its volume. The
// physical disks behind a volume are not looked up.
#include "platform/disk_identity.h"

DiskIdentity disk_identity_of(const std::string& directory)
{
    DiskIdentity identity;
    char fs_name[MAX_PATH + 1] = {};
    if (GetVolumeInformationA(directory.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fs_name, sizeof fs_name)) {
        identity.fs_type = fs_name;
    }
    char volume[MAX_PATH + 1] = {};
    if (GetVolumeNameForVolumeMountPointA(directory.c_str(), volume, sizeof volume)) {
        identity.device = volume;
    }
    return identity;
}

std::string disk_identity_text(const DiskIdentity& identity)
{
    const std::string fs_type = identity.fs_type.empty() ? "unknown filesystem" : identity.fs_type;
    if (identity.device.empty()) {
        return "no volume (" + fs_type + ")";
    }
    return fs_type + " on " + identity.device;
}
