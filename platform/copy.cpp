// CopyFileA writes every byte of the source into a new file on the target:
// the point of a copy is load on the drive, so no reflink, clone,
// copy_file_range or server-side copy that would share blocks or skip the
// media.
//
// The source is read through its page cache. The compare reads every source
// from the drive, its cache dropped, for each copy it checks; reading it from
// the drive here too would only slow the copies, which must run ahead of the
// compare to fill the target.
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/drive_paths.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file_object.h"
#include "platform/settings.h"

namespace {

constexpr mode_t new_file_mode = 0666;
constexpr mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;

// Direct I/O moves the bytes to the drive without a detour through the
// target's page cache. Files under a megabyte go through the cache, which
// gathers them into large writes, where direct I/O would wait for the drive
// on every short write. Filesystems that refuse direct I/O are written
// through the cache.
constexpr off_t direct_threshold = 1024 * 1024;

bool set_direct(int descriptor, bool on)
{
    const int flags = fcntl(descriptor, F_GETFL);
    return flags >= 0 && fcntl(descriptor, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

bool is_direct(int descriptor)
{
    const int flags = fcntl(descriptor, F_GETFL);
    return flags >= 0 && (flags & O_DIRECT) != 0;
}

// The bytes go from the source's page cache to the target through a pipe,
// with no copy in this process: straight to the drive while the target
// takes direct I/O. A pipe of a megabyte makes direct writes of a megabyte;
// where the system refuses that size the default pipe still works.
constexpr int pipe_size = 1024 * 1024;

struct Pipe {
    int read_end = -1;
    int write_end = -1;
    ~Pipe()
    {
        close(read_end);
        close(write_end);
    }
};

bool open_pipe(Pipe* pipe)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    pipe->read_end = ends[0];
    pipe->write_end = ends[1];
    fcntl(pipe->write_end, F_SETPIPE_SZ, pipe_size);
    return true;
}

// Empties the pipe into the target. Direct I/O needs aligned lengths and
// offsets, so a refusal (the last partial block) is taken again through the
// cache.
bool drain_into(int target, const Pipe& pipe, size_t length)
{
    while (length > 0) {
        const ssize_t count = splice(pipe.read_end, nullptr, target, nullptr, length, SPLICE_F_MOVE);
        if (count < 0 && (errno == EINTR || (errno == EINVAL && is_direct(target) && set_direct(target, false)))) {
            continue;
        }
        if (count <= 0) {
            if (count == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        length -= static_cast<size_t>(count);
    }
    return true;
}

// Copies to the source's end; a file that grew is copied to its new end.
// False with errno set.
bool copy_bytes(int source, int target)
{
    Pipe pipe;
    if (!open_pipe(&pipe)) {
        return false;
    }
    posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
    for (;;) {
        const ssize_t count = splice(source, nullptr, pipe.write_end, nullptr, pipe_size, SPLICE_F_MOVE);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0;
        }
        if (!drain_into(target, pipe, static_cast<size_t>(count))) {
            return false;
        }
    }
}

// The seam's flipped byte is written over the finished copy, through the
// cache, as a bad transfer would have left it.
bool corrupt_target(int source, int target)
{
    DWORD offset = 0;
    BYTE mask = 0;
    if (!fault_take_copy_corruption(&offset, &mask)) {
        return true;
    }
    char byte = 0;
    if (pread(source, &byte, 1, offset) != 1) {
        return true;
    }
    byte = static_cast<char>(byte ^ mask);
    return set_direct(target, false) && pwrite(target, &byte, 1, offset) == 1;
}

// What Windows refuses about an existing target before copying; the layer
// also refuses a link and someone else's file.
DWORD refusal_of_target(const DrivePath& target_path, const struct stat& source_status, BOOL fail_if_exists)
{
    struct stat status {};
    if (!status_of(target_path, &status)) {
        return ERROR_SUCCESS;
    }
    if (fail_if_exists) {
        return ERROR_FILE_EXISTS;
    }
    if (S_ISLNK(status.st_mode)) {
        return ERROR_CANT_ACCESS_FILE;
    }
    // Truncating the target would destroy the source it is about to read.
    if (status.st_dev == source_status.st_dev && status.st_ino == source_status.st_ino) {
        return ERROR_SHARING_VIOLATION;
    }
    if (!S_ISREG(status.st_mode) || mode_is_read_only(status.st_mode) || file_is_foreign(status)) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

// The copy takes the source's last write time and read-only attribute, as
// on Windows.
bool finish_target(int target, const struct stat& source_status)
{
    const struct timespec times[2] = {source_status.st_atim, source_status.st_mtim};
    struct stat target_status {};
    if (futimens(target, times) != 0 || fstat(target, &target_status) != 0) {
        return false;
    }
    if (mode_is_read_only(source_status.st_mode) &&
        fchmod(target, target_status.st_mode & 07777 & ~write_bits) != 0) {
        return false;
    }
    return true;
}

// Runs the copy into an opened target; false with errno set.
bool copy_into(int source, int target, const struct stat& source_status)
{
    if (!setting_cached_reads() && source_status.st_size >= direct_threshold) {
        set_direct(target, true);
    }
    if (!copy_bytes(source, target) || !corrupt_target(source, target) ||
        !finish_target(target, source_status)) {
        return false;
    }
    // The tail that went through the cache starts on its way to the drive
    // now, so that the compare's drop before it reads the copy need not wait
    // for it.
    sync_file_range(target, 0, 0, SYNC_FILE_RANGE_WRITE);
    return true;
}

}  // namespace

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    if (fault_check(FaultOperation::CopyFileA)) {
        return FALSE;
    }
    DrivePath source_path;
    DrivePath target_path;
    if (!open_drive_path(lpExistingFileName, &source_path) || !open_drive_path(lpNewFileName, &target_path)) {
        return FALSE;
    }
    const int source = open_regular_file(source_path, O_RDONLY | O_CLOEXEC, 0);
    if (source < 0) {
        return fail_with_errno(errno, source_path.native);
    }
    struct stat source_status {};
    if (fstat(source, &source_status) != 0) {
        close(source);
        return fail_with(ERROR_ACCESS_DENIED);
    }
    const DWORD refusal = refusal_of_target(target_path, source_status, bFailIfExists);
    if (refusal != ERROR_SUCCESS) {
        close(source);
        return fail_with(refusal);
    }
    const int target = open_regular_file(
        target_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (bFailIfExists ? O_EXCL : 0), new_file_mode);
    if (target < 0) {
        const int error_number = errno;
        close(source);
        return error_number == EEXIST ? fail_with(ERROR_FILE_EXISTS) : fail_with_errno(error_number);
    }
    const bool copied = copy_into(source, target, source_status);
    const int copy_error = errno;
    const bool closed = close(target) == 0;
    const int close_error = errno;
    close(source);
    if (copied && closed) {
        return TRUE;
    }
    // No partial target may stand where a copy is expected.
    unlinkat(target_path.parent, target_path.name.c_str(), 0);
    return fail_with_errno(copied ? close_error : copy_error);
}
