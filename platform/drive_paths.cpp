#include "platform/drive_paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <vector>

#include "platform/drive_map.h"
#include "platform/errors.h"

namespace {

// Nobody can plant anything on a read-only filesystem (a disc keeps the
// owners and modes it was made with).
bool on_read_only_filesystem(int descriptor)
{
    struct statvfs filesystem {};
    return fstatvfs(descriptor, &filesystem) == 0 && (filesystem.f_flag & ST_RDONLY) != 0;
}

// Steps from one directory into the next component without following a link.
// -1 with the last error set.
int step_into(int directory, const std::string& name)
{
    const int next = openat(directory, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
        fail_with(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errno_to_win32(errno));
        return -1;
    }
    struct stat status {};
    DWORD refusal = ERROR_SUCCESS;
    if (fstat(next, &status) != 0) {
        refusal = errno_to_win32(errno);
    } else if (S_ISLNK(status.st_mode)) {
        refusal = ERROR_CANT_ACCESS_FILE;
    } else if (!S_ISDIR(status.st_mode)) {
        refusal = ERROR_PATH_NOT_FOUND;
    } else if (directory_is_foreign(status) && !on_read_only_filesystem(next)) {
        refusal = ERROR_ACCESS_DENIED;
    }
    if (refusal != ERROR_SUCCESS) {
        close(next);
        fail_with(refusal);
        return -1;
    }
    return next;
}

}  // namespace

DrivePath::~DrivePath()
{
    if (parent >= 0) {
        close(parent);
    }
}

bool directory_is_foreign(const struct stat& status)
{
    const bool owned = status.st_uid == geteuid() || status.st_uid == 0;
    return !owned || (status.st_mode & S_IWOTH) != 0;
}

bool file_is_foreign(const struct stat& status)
{
    return status.st_uid != geteuid() || status.st_nlink > 1;
}

bool open_drive_path(LPCSTR windows_path, DrivePath* path)
{
    DriveMapping drive;
    std::vector<std::string> components;
    DWORD code = ERROR_SUCCESS;
    if (!split_drive_path(windows_path, &drive, &components, &code)) {
        return fail_with(code);
    }
    int directory = open(drive.directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        return fail_with(ERROR_PATH_NOT_FOUND);
    }
    path->native = drive.directory;
    for (size_t index = 0; index + 1 < components.size(); ++index) {
        const int next = step_into(directory, components[index]);
        close(directory);
        if (next < 0) {
            return false;
        }
        directory = next;
        path->native += (path->native.back() == '/' ? "" : "/") + components[index];
    }
    path->parent = directory;
    path->name = components.empty() ? "." : components.back();
    if (!components.empty()) {
        path->native += (path->native.back() == '/' ? "" : "/") + path->name;
    }
    return true;
}

bool status_of(const DrivePath& path, struct stat* status)
{
    return fstatat(path.parent, path.name.c_str(), status, AT_SYMLINK_NOFOLLOW) == 0;
}

int open_directory_of(const DrivePath& path)
{
    const int directory = openat(path.parent, path.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory < 0) {
        struct stat status {};
        if (errno == ENOTDIR && status_of(path, &status) && S_ISLNK(status.st_mode)) {
            fail_with(ERROR_CANT_ACCESS_FILE);
        } else {
            fail_with(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : errno_to_win32(errno));
        }
    }
    return directory;
}

int open_regular_file(const DrivePath& path, int flags, mode_t mode)
{
    // Truncation waits until the file is known to be ours to change.
    const int descriptor =
        openat(path.parent, path.name.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, mode);
    if (descriptor < 0) {
        return -1;
    }
    struct stat status {};
    const bool writes = (flags & (O_WRONLY | O_RDWR)) != 0;
    int refusal = 0;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        refusal = S_ISDIR(status.st_mode) ? EISDIR : EACCES;
    } else if (writes && file_is_foreign(status)) {
        refusal = EACCES;
    } else if ((flags & O_TRUNC) != 0 && ftruncate(descriptor, 0) != 0) {
        refusal = errno;
    }
    if (refusal != 0) {
        close(descriptor);
        errno = refusal;
        return -1;
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}
