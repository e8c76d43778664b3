// Which task directories belong to a live process, on Windows: a process
// keeps a handle open on each directory it uses, which the system closes
// however the process ends. A directory that can be opened without sharing
// has no such handle.
#include "platform/directory_locks.h"

#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex locks_mutex;

// Directories held exclusively, by path; marks in use are never closed.
std::map<std::string, HANDLE>& exclusive_locks()
{
    static auto* locks = new std::map<std::string, HANDLE>();
    return *locks;
}

// A directory, never a link to one.
HANDLE open_directory(LPCSTR path, DWORD share)
{
    HANDLE directory = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (directory == INVALID_HANDLE_VALUE) {
        return directory;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(directory, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(directory);
        SetLastError(ERROR_DIRECTORY);
        return INVALID_HANDLE_VALUE;
    }
    return directory;
}

}  // namespace

BOOL directory_mark_in_use(LPCSTR path)
{
    // Shared in every way, so that this run's own cleanup may still remove
    // it; the handle alone is what another run's lock meets.
    return open_directory(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) != INVALID_HANDLE_VALUE;
}

BOOL directory_lock_unused(LPCSTR path)
{
    // Deleting stays shared, for the caller's RemoveDirectoryA; another
    // run's mark, which reads, is refused.
    HANDLE directory = open_directory(path, FILE_SHARE_DELETE);
    if (directory == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(locks_mutex);
    const auto [held, added] = exclusive_locks().emplace(path, directory);
    if (!added) {
        CloseHandle(directory);
    }
    return added ? TRUE : FALSE;
}

void directory_unlock(LPCSTR path)
{
    std::lock_guard<std::mutex> guard(locks_mutex);
    const auto held = exclusive_locks().find(path);
    if (held != exclusive_locks().end()) {
        CloseHandle(held->second);
        exclusive_locks().erase(held);
    }
}
