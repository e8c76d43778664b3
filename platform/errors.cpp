#include "platform/errors.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

std::string parent_directory(const std::string& native_path)
{
    std::string path = native_path;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

DWORD WINAPI GetLastError(void)
{
    return last_error;
}

void WINAPI SetLastError(DWORD dwErrCode)
{
    last_error = dwErrCode;
}

// errno values without a Win32 counterpart of their own become
// ERROR_GEN_FAILURE (31), "a device attached to the system is not
// functioning": the caller sees a failure of the drive, which is what the
// engine reports and counts. ELOOP, a link met where the layer never follows
// one (anything below a drive's directory), is ERROR_CANT_ACCESS_FILE (1920),
// "the file cannot be accessed by the system", as Windows says of a reparse
// point it will not traverse.
DWORD errno_to_win32(int error_number)
{
    switch (error_number) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENXIO:
    case ENODEV: return ERROR_NOT_READY;
    case EIO: return ERROR_CRC;
    case EBUSY:
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC: return ERROR_DISK_FULL;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEDIUM: return ERROR_NO_MEDIA_IN_DRIVE;
    case ESTALE: return ERROR_FILE_INVALID;
    case EUCLEAN: return ERROR_FILE_CORRUPT;
    case EDQUOT: return ERROR_NOT_ENOUGH_QUOTA;
    case ELOOP: return ERROR_CANT_ACCESS_FILE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    default: return ERROR_GEN_FAILURE;
    }
}

DWORD errno_to_win32_for_path(int error_number, const std::string& native_path)
{
    if (error_number != ENOENT || native_path.empty()) {
        return errno_to_win32(error_number);
    }
    struct stat parent_status {};
    const std::string parent = parent_directory(native_path);
    if (stat(parent.c_str(), &parent_status) != 0 || !S_ISDIR(parent_status.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

BOOL fail_with(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

BOOL fail_with_errno(int error_number, const std::string& native_path)
{
    return fail_with(errno_to_win32_for_path(error_number, native_path));
}
