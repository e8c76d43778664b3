#include "platform/directory_locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/drive_paths.h"
#include "platform/errors.h"

namespace {

std::mutex locks_mutex;

// Directories held exclusively, by path; marks in use are never closed.
std::map<std::string, int>& exclusive_locks()
{
    static auto* locks = new std::map<std::string, int>();
    return *locks;
}

int open_directory(LPCSTR path)
{
    DrivePath directory;
    return open_drive_path(path, &directory) ? open_directory_of(directory) : -1;
}

}  // namespace

BOOL directory_mark_in_use(LPCSTR path)
{
    const int descriptor = open_directory(path);
    if (descriptor < 0) {
        return FALSE;
    }
    if (flock(descriptor, LOCK_SH | LOCK_NB) != 0) {
        close(descriptor);
        return fail_with_errno(errno);
    }
    return TRUE;
}

BOOL directory_lock_unused(LPCSTR path)
{
    const int descriptor = open_directory(path);
    if (descriptor < 0) {
        return FALSE;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        close(descriptor);
        return fail_with(ERROR_SHARING_VIOLATION);
    }
    std::lock_guard<std::mutex> guard(locks_mutex);
    const auto [held, added] = exclusive_locks().emplace(path, descriptor);
    if (!added) {
        close(descriptor);
    }
    return added ? TRUE : FALSE;
}

void directory_unlock(LPCSTR path)
{
    std::lock_guard<std::mutex> guard(locks_mutex);
    const auto held = exclusive_locks().find(path);
    if (held != exclusive_locks().end()) {
        close(held->second);
        exclusive_locks().erase(held);
    }
}
