// Drive types, volume data and free space of the mapped drives.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/disk_geometry.h"
#include "platform/drive_map.h"
#include "platform/errors.h"
#include "platform/faults.h"

namespace {

constexpr DWORD sector_size = 512;
constexpr ULONGLONG largest_count = 0xFFFFFFFFull;
// Windows keeps volume labels and file-system names within this many
// characters, and so do the callers' 20-character fields.
constexpr size_t longest_volume_text = 19;

constexpr DWORD file_case_sensitive_search = 0x00000001;
constexpr DWORD file_case_preserved_names = 0x00000002;
constexpr DWORD file_read_only_volume = 0x00080000;

// Names for filesystems whose mounts-table entry cannot be read.
const std::pair<unsigned long, const char*> filesystem_magics[] = {
    {0xEF53, "EXT4"},        {0x58465342, "XFS"},     {0x9123683E, "BTRFS"},   {0x01021994, "TMPFS"},
    {0x858458F6, "RAMFS"},   {0x6969, "NFS"},         {0xFF534D42, "CIFS"},    {0x73717368, "SQUASHFS"},
    {0xE0F5E1E2, "EROFS"},   {0x9660, "ISO9660"},     {0x15013346, "UDF"},     {0x65735546, "FUSE"},
    {0x794C7630, "OVERLAY"}, {0x4D44, "FAT"},         {0x2011BAB0, "EXFAT"},   {0x01021997, "V9FS"}};

// "X:" with an optional separator after it; `separator_required` for the
// calls that Windows gives only a root directory with its backslash.
bool parse_root(LPCSTR root, bool separator_required, char* letter)
{
    if (root == nullptr || !std::isalpha(static_cast<unsigned char>(root[0])) || root[1] != ':') {
        return false;
    }
    const bool has_separator = root[2] == '\\' || root[2] == '/';
    if (separator_required && !has_separator) {
        return false;
    }
    if (root[has_separator ? 3 : 2] != '\0') {
        return false;
    }
    *letter = root[0];
    return true;
}

bool is_directory(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The mapped directory of a volume root; FALSE with the last error set.
bool volume_directory(LPCSTR root, std::string* directory)
{
    char letter = 0;
    DriveMapping drive;
    if (root == nullptr) {
        return fail_with(ERROR_PATH_NOT_FOUND);
    }
    if (!parse_root(root, true, &letter)) {
        return fail_with(ERROR_INVALID_NAME);
    }
    if (!drive_map_lookup(letter, &drive)) {
        return fail_with(ERROR_PATH_NOT_FOUND);
    }
    if (!drive_is_ready(drive)) {
        return fail_with(ERROR_NOT_READY);
    }
    if (!is_directory(drive.directory)) {
        return fail_with(ERROR_PATH_NOT_FOUND);
    }
    *directory = drive.directory;
    return true;
}

std::string volume_label(const std::string& directory)
{
    char label[FSLABEL_MAX] = {};
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::string();
    }
    const bool read = ioctl(descriptor, FS_IOC_GETFSLABEL, label) == 0;
    close(descriptor);
    label[FSLABEL_MAX - 1] = '\0';
    return read ? std::string(label) : std::string();
}

std::string upper_case(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string filesystem_name(const std::string& directory, const struct statfs& status)
{
    MountEntry mount;
    if (mount_of_path(directory, &mount)) {
        return upper_case(mount.fs_type);
    }
    for (const auto& [magic, name] : filesystem_magics) {
        if (static_cast<unsigned long>(status.f_type) == magic) {
            return name;
        }
    }
    return std::string();
}

DWORD volume_serial(const struct statfs& status)
{
    int fsid[2];
    static_assert(sizeof(fsid) == sizeof(status.f_fsid));
    std::memcpy(fsid, &status.f_fsid, sizeof(fsid));
    return static_cast<DWORD>(fsid[0]) ^ static_cast<DWORD>(fsid[1]);
}

DWORD filesystem_flags(const struct statfs& status)
{
    const DWORD flags = file_case_sensitive_search | file_case_preserved_names;
    return (status.f_flags & ST_RDONLY) ? flags | file_read_only_volume : flags;
}

bool fits(const std::string& text, LPSTR buffer, DWORD size)
{
    return buffer == nullptr || text.size() < size;
}

void store_text(const std::string& text, LPSTR buffer)
{
    if (buffer != nullptr) {
        std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
}

void store_value(DWORD value, LPDWORD destination)
{
    if (destination != nullptr) {
        *destination = value;
    }
}

}  // namespace

DiskGeometry disk_geometry(ULONGLONG fragment_size, ULONGLONG free_fragments, ULONGLONG total_fragments)
{
    DiskGeometry geometry{};
    if (fragment_size % sector_size == 0 && fragment_size != 0) {
        geometry.bytes_per_sector = sector_size;
        geometry.sectors_per_cluster = static_cast<DWORD>(fragment_size / sector_size);
    } else {
        geometry.bytes_per_sector = static_cast<DWORD>(fragment_size);
        geometry.sectors_per_cluster = 1;
    }
    ULONGLONG factor = 1;
    while (total_fragments / factor > largest_count) {
        factor *= 2;
    }
    geometry.sectors_per_cluster = static_cast<DWORD>(geometry.sectors_per_cluster * factor);
    geometry.total_clusters = static_cast<DWORD>(total_fragments / factor);
    geometry.free_clusters = static_cast<DWORD>(std::min(free_fragments / factor, largest_count));
    return geometry;
}

UINT WINAPI GetDriveTypeA(LPCSTR lpRootPathName)
{
    if (fault_check(FaultOperation::GetDriveTypeA)) {
        return DRIVE_UNKNOWN;
    }
    char letter = 0;
    DriveMapping drive;
    if (!parse_root(lpRootPathName, false, &letter) || !drive_map_lookup(letter, &drive) ||
        !is_directory(drive.directory)) {
        return DRIVE_NO_ROOT_DIR;
    }
    return drive.type;
}

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize)
{
    if (fault_check(FaultOperation::GetVolumeInformationA)) {
        return FALSE;
    }
    std::string directory;
    if (!volume_directory(lpRootPathName, &directory)) {
        return FALSE;
    }
    struct statfs status {};
    if (statfs(directory.c_str(), &status) != 0) {
        return fail_with_errno(errno, directory);
    }
    const std::string label = volume_label(directory).substr(0, longest_volume_text);
    const std::string filesystem = filesystem_name(directory, status).substr(0, longest_volume_text);
    if (!fits(label, lpVolumeNameBuffer, nVolumeNameSize) ||
        !fits(filesystem, lpFileSystemNameBuffer, nFileSystemNameSize)) {
        return fail_with(ERROR_BAD_LENGTH);
    }
    store_text(label, lpVolumeNameBuffer);
    store_text(filesystem, lpFileSystemNameBuffer);
    store_value(volume_serial(status), lpVolumeSerialNumber);
    store_value(static_cast<DWORD>(status.f_namelen), lpMaximumComponentLength);
    store_value(filesystem_flags(status), lpFileSystemFlags);
    return TRUE;
}

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR lpRootPathName, LPDWORD lpSectorsPerCluster, LPDWORD lpBytesPerSector,
                              LPDWORD lpNumberOfFreeClusters, LPDWORD lpTotalNumberOfClusters)
{
    if (fault_check(FaultOperation::GetDiskFreeSpaceA)) {
        return FALSE;
    }
    std::string directory;
    if (!volume_directory(lpRootPathName, &directory)) {
        return FALSE;
    }
    struct statvfs status {};
    if (statvfs(directory.c_str(), &status) != 0) {
        return fail_with_errno(errno, directory);
    }
    const DiskGeometry geometry = disk_geometry(status.f_frsize, status.f_bavail, status.f_blocks);
    store_value(geometry.sectors_per_cluster, lpSectorsPerCluster);
    store_value(geometry.bytes_per_sector, lpBytesPerSector);
    store_value(geometry.free_clusters, lpNumberOfFreeClusters);
    store_value(geometry.total_clusters, lpTotalNumberOfClusters);
    return TRUE;
}
