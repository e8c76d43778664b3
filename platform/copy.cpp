// CopyFileA moves every byte through read and write: the point of a copy is
// load on both drives, so no reflink, clone, copy_file_range or server-side
// copy that would share blocks or skip the media.
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

#include "platform/drive_paths.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file_object.h"
#include "platform/settings.h"

namespace {

constexpr size_t copy_buffer_size = 1024 * 1024;
constexpr size_t huge_page_size = 2 * 1024 * 1024;
constexpr mode_t new_file_mode = 0666;
constexpr mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;

struct Corruption {
    bool pending;
    DWORD offset;
    BYTE mask;
};

void corrupt_chunk(Corruption* corruption, off_t chunk_offset, char* chunk, size_t length)
{
    if (!corruption->pending || corruption->offset < static_cast<ULONGLONG>(chunk_offset) ||
        corruption->offset >= static_cast<ULONGLONG>(chunk_offset) + length) {
        return;
    }
    chunk[corruption->offset - chunk_offset] = static_cast<char>(chunk[corruption->offset - chunk_offset] ^ corruption->mask);
    corruption->pending = false;
}

// Direct I/O moves the bytes between the drive and the copy buffer without a
// detour through the page cache: the source is read from the media, the
// target written to it, and no CPU time goes into copying pages. Filesystems
// that refuse it (tmpfs) are copied through the cache.
constexpr size_t direct_alignment = 4096;

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

// A length or offset off the alignment (the end of the file) goes through
// the cache from then on.
void leave_direct_unless_aligned(int descriptor, size_t length)
{
    if (length % direct_alignment != 0 && is_direct(descriptor)) {
        set_direct(descriptor, false);
    }
}

// A direct read past the end of the file fills the rest of the request with
// zeros that are then thrown away: ask for no more than the bytes left,
// rounded up to the alignment. A file that grew is read to its new end.
size_t chunk_length(off_t offset, off_t expected_size)
{
    if (offset >= expected_size) {
        return copy_buffer_size;
    }
    const auto left = static_cast<size_t>(expected_size - offset);
    const size_t aligned = (left + direct_alignment - 1) / direct_alignment * direct_alignment;
    return aligned < copy_buffer_size ? aligned : copy_buffer_size;
}

// A refusal of direct I/O (an offset off the alignment after a short
// transfer) is taken again through the cache.
ssize_t read_chunk(int source, char* buffer, size_t length)
{
    for (;;) {
        const ssize_t count = read(source, buffer, length);
        if (count < 0 && (errno == EINTR || (errno == EINVAL && is_direct(source) && set_direct(source, false)))) {
            continue;
        }
        return count;
    }
}

bool write_all(int descriptor, const char* bytes, size_t length)
{
    leave_direct_unless_aligned(descriptor, length);
    size_t done = 0;
    while (done < length) {
        const ssize_t count = write(descriptor, bytes + done, length - done);
        if (count < 0 && (errno == EINTR || (errno == EINVAL && is_direct(descriptor) &&
                                             set_direct(descriptor, false)))) {
            continue;
        }
        if (count <= 0) {
            if (count == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

struct FreeBuffer {
    void operator()(char* buffer) const { std::free(buffer); }
};

// One buffer per thread for all its copies, never zero-filled: every byte of
// it that is written has just been read. It lies in one huge page where the
// system has them, so that direct I/O pins one page per transfer instead of
// hundreds.
char* allocate_copy_buffer()
{
    char* buffer = static_cast<char*>(std::aligned_alloc(huge_page_size, huge_page_size));
    if (buffer != nullptr) {
        madvise(buffer, huge_page_size, MADV_HUGEPAGE);
    }
    return buffer;
}

char* thread_copy_buffer()
{
    thread_local std::unique_ptr<char, FreeBuffer> buffer(allocate_copy_buffer());
    return buffer.get();
}

// Copies the bytes; false with errno set on a failed read or write.
bool copy_bytes(int source, int target, off_t expected_size, Corruption* corruption)
{
    char* buffer = thread_copy_buffer();
    posix_fadvise(source, 0, 0, POSIX_FADV_SEQUENTIAL);
    off_t offset = 0;
    if (buffer == nullptr) {
        errno = ENOMEM;
        return false;
    }
    for (;;) {
        const ssize_t count = read_chunk(source, buffer, chunk_length(offset, expected_size));
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            return true;
        }
        corrupt_chunk(corruption, offset, buffer, static_cast<size_t>(count));
        if (!write_all(target, buffer, static_cast<size_t>(count))) {
            return false;
        }
        offset += count;
    }
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
    Corruption corruption{};
    corruption.pending = fault_take_copy_corruption(&corruption.offset, &corruption.mask);
    drop_cached_pages(source);
    if (!setting_cached_reads()) {
        set_direct(source, true);
        set_direct(target, true);
    }
    if (!copy_bytes(source, target, source_status.st_size, &corruption) || !finish_target(target, source_status)) {
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
