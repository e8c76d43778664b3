// Files, attributes and directories.
//
// Linux has no mandatory sharing: the share mode of CreateFileA is accepted
// and not enforced. The read-only attribute is the absence of every write bit
// in the mode; since Linux lets root write or unlink such a file anyway, the
// layer refuses those itself, as Windows does. Every name below a drive's
// directory is reached through drive_paths, never through a link.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/drive_paths.h"
#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/file_object.h"
#include "platform/settings.h"

namespace {

constexpr mode_t write_bits = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr mode_t new_file_mode = 0666;
constexpr mode_t new_read_only_file_mode = 0444;
// Never writable by others, whatever the umask: a directory that others
// could fill would let them plant links and files under our names.
constexpr mode_t new_directory_mode = 0755;

HANDLE fail_handle(DWORD code)
{
    SetLastError(code);
    return INVALID_HANDLE_VALUE;
}

HANDLE fail_handle_errno(int error_number)
{
    fail_with_errno(error_number);
    return INVALID_HANDLE_VALUE;
}

void destroy_file(KernelObject* object)
{
    auto* file = static_cast<FileObject*>(object);
    close(file->descriptor);
    delete file;
}

bool wants_read(DWORD access)
{
    return (access & (GENERIC_READ | GENERIC_ALL | GENERIC_EXECUTE)) != 0;
}

bool wants_write(DWORD access)
{
    return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0;
}

int open_access_flags(DWORD access)
{
    if (wants_write(access)) {
        return wants_read(access) ? O_RDWR : O_WRONLY;
    }
    return O_RDONLY;
}

bool disposition_truncates(DWORD disposition)
{
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// Opens, creating the file when it is missing; *existed tells which. The
// exclusive create makes that answer exact even while others create or
// delete the same name.
int open_or_create(const DrivePath& path, int flags, mode_t mode, bool truncate, bool* existed)
{
    for (;;) {
        const int created = open_regular_file(path, flags | O_CREAT | O_EXCL, mode);
        if (created >= 0 || errno != EEXIST) {
            *existed = false;
            return created;
        }
        const int opened = open_regular_file(path, flags | (truncate ? O_TRUNC : 0), 0);
        if (opened >= 0 || errno != ENOENT) {
            *existed = true;
            return opened;
        }
    }
}

int open_by_disposition(const DrivePath& path, int flags, DWORD disposition, mode_t mode, bool* existed)
{
    switch (disposition) {
    case CREATE_NEW:
        *existed = false;
        return open_regular_file(path, flags | O_CREAT | O_EXCL, mode);
    case CREATE_ALWAYS:
        return open_or_create(path, flags, mode, true, existed);
    case OPEN_ALWAYS:
        return open_or_create(path, flags, mode, false, existed);
    case TRUNCATE_EXISTING:
        *existed = true;
        return open_regular_file(path, flags | O_TRUNC, 0);
    default:
        *existed = true;
        return open_regular_file(path, flags, 0);
    }
}

bool valid_disposition(DWORD disposition, DWORD access)
{
    if (disposition == TRUNCATE_EXISTING) {
        return wants_write(access);
    }
    return disposition >= CREATE_NEW && disposition <= OPEN_ALWAYS;
}

// What Windows refuses before touching the file: an existing name for
// CREATE_NEW, a directory, a read-only file opened for writing or truncation.
// The layer also refuses a link and, for writing, someone else's file.
DWORD refusal_before_open(const DrivePath& path, DWORD access, DWORD disposition)
{
    struct stat status {};
    if (!status_of(path, &status)) {
        return ERROR_SUCCESS;
    }
    if (disposition == CREATE_NEW) {
        return ERROR_FILE_EXISTS;
    }
    if (S_ISLNK(status.st_mode)) {
        return ERROR_CANT_ACCESS_FILE;
    }
    if (!S_ISREG(status.st_mode)) {
        return ERROR_ACCESS_DENIED;
    }
    const bool changes_file = wants_write(access) || disposition_truncates(disposition);
    if (changes_file && (mode_is_read_only(status.st_mode) || file_is_foreign(status))) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

void advise_access_pattern(int descriptor, DWORD access_pattern)
{
    if (access_pattern & FILE_FLAG_RANDOM_ACCESS) {
        posix_fadvise(descriptor, 0, 0, POSIX_FADV_RANDOM);
    } else if (access_pattern & FILE_FLAG_SEQUENTIAL_SCAN) {
        posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

HANDLE register_file(int descriptor, DWORD access, DWORD flags)
{
    auto* file = new FileObject();
    file->kind = HandleKind::File;
    file->destroy = destroy_file;
    file->descriptor = descriptor;
    file->readable = wants_read(access);
    file->writable = wants_write(access);
    file->access_pattern = flags & (FILE_FLAG_RANDOM_ACCESS | FILE_FLAG_SEQUENTIAL_SCAN);
    return handle_register(file);
}

BOOL set_file_position(int descriptor, LONGLONG position)
{
    if (lseek(descriptor, position, SEEK_SET) < 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}

bool current_position(int descriptor, LONGLONG* position)
{
    const off_t offset = lseek(descriptor, 0, SEEK_CUR);
    if (offset < 0) {
        fail_with_errno(errno);
        return false;
    }
    *position = offset;
    return true;
}

bool seek_origin(int descriptor, DWORD move_method, LONGLONG* origin)
{
    struct stat status {};
    switch (move_method) {
    case FILE_BEGIN:
        *origin = 0;
        return true;
    case FILE_CURRENT:
        return current_position(descriptor, origin);
    case FILE_END:
        if (fstat(descriptor, &status) != 0) {
            fail_with_errno(errno);
            return false;
        }
        *origin = status.st_size;
        return true;
    default:
        fail_with(ERROR_INVALID_PARAMETER);
        return false;
    }
}

LONGLONG requested_distance(LONG distance_low, const LONG* distance_high)
{
    if (distance_high == nullptr) {
        return distance_low;
    }
    const ULONGLONG combined =
        (static_cast<ULONGLONG>(static_cast<DWORD>(*distance_high)) << 32) | static_cast<DWORD>(distance_low);
    return static_cast<LONGLONG>(combined);
}

bool status_or_fail(const DrivePath& path, struct stat* status)
{
    if (!status_of(path, status)) {
        fail_with_errno(errno);
        return false;
    }
    return true;
}

// The file a ReadFile or WriteFile call moves bytes through, after zeroing the
// caller's count; nullptr, with the last error set, when the call cannot go on.
FileObject* file_to_transfer(FaultOperation call, HANDLE handle, LPOVERLAPPED overlapped, bool writing,
                             LPDWORD transferred)
{
    if (transferred != nullptr) {
        *transferred = 0;
    }
    if (fault_check(call)) {
        return nullptr;
    }
    FileObject* file = file_from_handle(handle);
    if (file == nullptr) {
        return nullptr;
    }
    if (overlapped != nullptr) {
        fail_with(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!(writing ? file->writable : file->readable)) {
        fail_with(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

// Tells the caller how many bytes moved; error_number 0 means all went well.
BOOL finish_transfer(DWORD done, LPDWORD transferred, int error_number)
{
    if (transferred != nullptr) {
        *transferred = done;
    }
    return error_number == 0 ? TRUE : fail_with_errno(error_number);
}

}  // namespace

FileObject* file_from_handle(HANDLE handle)
{
    return handle_object<FileObject>(handle, HandleKind::File);
}

void drop_cached_pages(int descriptor)
{
    if (setting_cached_reads()) {
        return;
    }
    // Dirty pages cannot be dropped: write them to the drive first. The
    // drive's own cache is not flushed (that is what fdatasync adds and what
    // write-through files pay for), so three verifying opens per file do not
    // cost three device cache flushes.
    sync_file_range(descriptor, 0, 0,
                    SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
}

bool mode_is_read_only(unsigned mode)
{
    return (mode & write_bits) == 0;
}

DWORD attributes_of(const struct stat& status)
{
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (S_ISLNK(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    if (mode_is_read_only(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD /*dwShareMode*/,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE /*hTemplateFile*/)
{
    if (fault_check(FaultOperation::CreateFileA)) {
        return INVALID_HANDLE_VALUE;
    }
    DrivePath path;
    if (!open_drive_path(lpFileName, &path)) {
        return INVALID_HANDLE_VALUE;
    }
    if (!valid_disposition(dwCreationDisposition, dwDesiredAccess)) {
        return fail_handle(ERROR_INVALID_PARAMETER);
    }
    const DWORD refusal = refusal_before_open(path, dwDesiredAccess, dwCreationDisposition);
    if (refusal != ERROR_SUCCESS) {
        return fail_handle(refusal);
    }
    int flags = open_access_flags(dwDesiredAccess) | O_CLOEXEC;
    if (dwFlagsAndAttributes & FILE_FLAG_WRITE_THROUGH) {
        flags |= O_DSYNC;
    }
    const mode_t mode =
        (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? new_read_only_file_mode : new_file_mode;
    bool existed = false;
    const int descriptor = open_by_disposition(path, flags, dwCreationDisposition, mode, &existed);
    if (descriptor < 0) {
        if (errno == EEXIST) {
            return fail_handle(ERROR_FILE_EXISTS);
        }
        return fail_handle_errno(errno);
    }
    if (existed && !wants_write(dwDesiredAccess)) {
        drop_cached_pages(descriptor);
    }
    advise_access_pattern(descriptor, dwFlagsAndAttributes);
    if (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS) {
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    }
    return register_file(descriptor, dwDesiredAccess, dwFlagsAndAttributes);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    if (fault_check(FaultOperation::GetFileSize)) {
        return INVALID_FILE_SIZE;
    }
    FileObject* file = file_from_handle(hFile);
    struct stat status {};
    if (file == nullptr) {
        return INVALID_FILE_SIZE;
    }
    if (fstat(file->descriptor, &status) != 0) {
        fail_with_errno(errno);
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<ULONGLONG>(status.st_size);
    if (lpFileSizeHigh != nullptr) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    const auto low = static_cast<DWORD>(size);
    // A size whose low part looks like the failure value is told apart by
    // a cleared last error.
    if (low == INVALID_FILE_SIZE) {
        SetLastError(ERROR_SUCCESS);
    }
    return low;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    if (fault_check(FaultOperation::SetFilePointer)) {
        return INVALID_SET_FILE_POINTER;
    }
    FileObject* file = file_from_handle(hFile);
    LONGLONG origin = 0;
    if (file == nullptr || !seek_origin(file->descriptor, dwMoveMethod, &origin)) {
        return INVALID_SET_FILE_POINTER;
    }
    const LONGLONG target = origin + requested_distance(lDistanceToMove, lpDistanceToMoveHigh);
    if (target < 0) {
        fail_with(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high part the caller could not learn a position beyond 4 GiB.
    if (lpDistanceToMoveHigh == nullptr && target > static_cast<LONGLONG>(0xFFFFFFFFu)) {
        fail_with(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (!set_file_position(file->descriptor, target)) {
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) {
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<ULONGLONG>(target) >> 32);
    }
    const auto low = static_cast<DWORD>(target);
    if (low == INVALID_SET_FILE_POINTER) {
        SetLastError(ERROR_SUCCESS);
    }
    return low;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile)
{
    if (fault_check(FaultOperation::SetEndOfFile)) {
        return FALSE;
    }
    FileObject* file = file_from_handle(hFile);
    LONGLONG position = 0;
    if (file == nullptr) {
        return FALSE;
    }
    if (!file->writable) {
        return fail_with(ERROR_ACCESS_DENIED);
    }
    if (!current_position(file->descriptor, &position)) {
        return FALSE;
    }
    if (ftruncate(file->descriptor, position) != 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped)
{
    FileObject* file = file_to_transfer(FaultOperation::ReadFile, hFile, lpOverlapped, false, lpNumberOfBytesRead);
    if (file == nullptr) {
        return FALSE;
    }
    DWORD done = 0;
    auto* bytes = static_cast<char*>(lpBuffer);
    while (done < nNumberOfBytesToRead) {
        const ssize_t count = read(file->descriptor, bytes + done, nNumberOfBytesToRead - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return finish_transfer(done, lpNumberOfBytesRead, errno);
        }
        if (count == 0) {
            break;
        }
        done += static_cast<DWORD>(count);
    }
    return finish_transfer(done, lpNumberOfBytesRead, 0);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped)
{
    FileObject* file = file_to_transfer(FaultOperation::WriteFile, hFile, lpOverlapped, true, lpNumberOfBytesWritten);
    if (file == nullptr) {
        return FALSE;
    }
    DWORD done = 0;
    const auto* bytes = static_cast<const char*>(lpBuffer);
    while (done < nNumberOfBytesToWrite) {
        const ssize_t count = write(file->descriptor, bytes + done, nNumberOfBytesToWrite - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            // A regular file that takes no byte has no room left.
            return finish_transfer(done, lpNumberOfBytesWritten, count < 0 ? errno : ENOSPC);
        }
        done += static_cast<DWORD>(count);
    }
    return finish_transfer(done, lpNumberOfBytesWritten, 0);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile)
{
    if (fault_check(FaultOperation::FlushFileBuffers)) {
        return FALSE;
    }
    FileObject* file = file_from_handle(hFile);
    if (file == nullptr) {
        return FALSE;
    }
    if (!file->writable) {
        return fail_with(ERROR_ACCESS_DENIED);
    }
    if (fsync(file->descriptor) != 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    if (fault_check(FaultOperation::DeleteFileA)) {
        return FALSE;
    }
    DrivePath path;
    struct stat status {};
    if (!open_drive_path(lpFileName, &path) || !status_or_fail(path, &status)) {
        return FALSE;
    }
    if (S_ISDIR(status.st_mode) || (S_ISREG(status.st_mode) && mode_is_read_only(status.st_mode))) {
        return fail_with(ERROR_ACCESS_DENIED);
    }
    // A link is removed itself, as Windows deletes a symbolic link.
    if (unlinkat(path.parent, path.name.c_str(), 0) != 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}

// As on Windows, an existing file of the new name is never replaced: the
// kernel refuses in the same step that renames, so no file can slip in between.
BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName)
{
    DrivePath from;
    DrivePath to;
    if (!open_drive_path(lpExistingFileName, &from) || !open_drive_path(lpNewFileName, &to)) {
        return FALSE;
    }
    if (renameat2(from.parent, from.name.c_str(), to.parent, to.name.c_str(), RENAME_NOREPLACE) != 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    if (fault_check(FaultOperation::GetFileAttributesA)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    DrivePath path;
    struct stat status {};
    if (!open_drive_path(lpFileName, &path) || !status_or_fail(path, &status)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes_of(status);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes)
{
    if (fault_check(FaultOperation::SetFileAttributesA)) {
        return FALSE;
    }
    DrivePath path;
    struct stat status {};
    if (!open_drive_path(lpFileName, &path) || !status_or_fail(path, &status)) {
        return FALSE;
    }
    // Windows does not enforce read-only on directories; neither does the
    // layer, so a directory's mode is left as it is.
    if (S_ISDIR(status.st_mode)) {
        return TRUE;
    }
    if (S_ISLNK(status.st_mode)) {
        return fail_with(ERROR_CANT_ACCESS_FILE);
    }
    const mode_t permissions = status.st_mode & 07777;
    const mode_t wanted = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? permissions & ~write_bits
                                                                        : permissions | S_IWUSR;
    if (wanted == permissions) {
        return TRUE;
    }
    if (file_is_foreign(status)) {
        return fail_with(ERROR_ACCESS_DENIED);
    }
    // The name is changed only if it is still no link when the mode is set.
    if (fchmodat(path.parent, path.name.c_str(), wanted, AT_SYMLINK_NOFOLLOW) != 0) {
        return fail_with_errno(errno);
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/)
{
    if (fault_check(FaultOperation::CreateDirectoryA)) {
        return FALSE;
    }
    DrivePath path;
    if (!open_drive_path(lpPathName, &path)) {
        return FALSE;
    }
    if (mkdirat(path.parent, path.name.c_str(), new_directory_mode) != 0) {
        // A missing parent is "path not found" whatever the last component.
        return fail_with(errno == ENOENT ? ERROR_PATH_NOT_FOUND : errno_to_win32(errno));
    }
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName)
{
    if (fault_check(FaultOperation::RemoveDirectoryA)) {
        return FALSE;
    }
    DrivePath path;
    if (!open_drive_path(lpPathName, &path)) {
        return FALSE;
    }
    // The drive's own directory is its root, which cannot be removed.
    if (path.name == ".") {
        return fail_with(ERROR_ACCESS_DENIED);
    }
    if (unlinkat(path.parent, path.name.c_str(), AT_REMOVEDIR) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) {
            return fail_with(ERROR_DIR_NOT_EMPTY);
        }
        struct stat status {};
        if (errno == ENOTDIR && status_of(path, &status)) {
            return fail_with(ERROR_DIRECTORY);
        }
        return fail_with_errno(errno);
    }
    return TRUE;
}
