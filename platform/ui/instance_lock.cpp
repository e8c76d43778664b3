#include "platform/ui/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/errors.h"
#include "platform/settings.h"

namespace {

constexpr const char* root_lock_directory = "/run/durandex";

// Locks this process took before its window existed, by class and title.
std::mutex reserved_mutex;

std::map<std::string, int>& reserved_locks()
{
    static auto* locks = new std::map<std::string, int>();
    return *locks;
}

std::string user_fallback_directory()
{
    return "/tmp/durandex-" + std::to_string(geteuid());
}

// The directory this user's locks belong in, and whether the program makes
// it (then it must be exactly ours: no link, mode 0700).
std::string default_directory(bool* made_here)
{
    *made_here = true;
    if (geteuid() == 0) {
        return root_lock_directory;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        *made_here = false;
        return runtime;
    }
    return user_fallback_directory();
}

std::string ownership_problem(const struct stat& status, bool made_here)
{
    if (!S_ISDIR(status.st_mode)) {
        return "not a directory";
    }
    if (status.st_uid != geteuid()) {
        return "owned by user " + std::to_string(status.st_uid) + ", not by this user";
    }
    // A directory the program makes is its user's alone; one named for it
    // must at least be closed to writes by everyone.
    if ((status.st_mode & (made_here ? S_IRWXG | S_IRWXO : S_IWOTH)) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        return std::string("open to other users (mode ") + mode + ")";
    }
    return "";
}

std::string lock_name(const std::string& class_name, const std::string& title)
{
    std::string readable;
    for (char ch : class_name + "." + title) {
        readable.push_back(std::isalnum(static_cast<unsigned char>(ch)) != 0 ? ch : '_');
    }
    uint64_t hash = 14695981039346656037ull;
    for (char ch : class_name + '\n' + title) {
        hash = (hash ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
    }
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(hash));
    return readable.substr(0, 64) + "-" + suffix + ".lock";
}

// The locked file's descriptor, or -1 with errno set (EWOULDBLOCK: held
// elsewhere).
int take_lock(const std::string& class_name, const std::string& title)
{
    std::string problem;
    const int directory = instance_lock_directory(&problem);
    if (directory < 0) {
        errno = EACCES;
        return -1;
    }
    const int descriptor = openat(directory, lock_name(class_name, title).c_str(),
                                  O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    const int open_error = errno;
    close(directory);
    if (descriptor < 0) {
        errno = open_error;
        return -1;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid()) {
        close(descriptor);
        errno = EACCES;
        return -1;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int lock_error = errno;
        close(descriptor);
        errno = lock_error;
        return -1;
    }
    return descriptor;
}

}  // namespace

int instance_lock_directory(std::string* problem)
{
    const std::string setting = setting_text(Setting::Instance);
    bool made_here = false;
    const std::string path = setting.empty() ? default_directory(&made_here) : setting;
    if (made_here && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *problem = path + ": cannot be made";
        return -1;
    }
    // A directory the program makes is never reached through a link; one
    // that the operator or the session names may be.
    const int directory = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC | (made_here ? O_NOFOLLOW : 0));
    if (directory < 0) {
        *problem = path + (errno == ENOTDIR || errno == ELOOP ? ": not a directory" : ": cannot be opened");
        return -1;
    }
    struct stat status {};
    const std::string refusal =
        fstat(directory, &status) == 0 ? ownership_problem(status, made_here) : "cannot be read";
    if (!refusal.empty()) {
        close(directory);
        *problem = path + ": " + refusal;
        return -1;
    }
    return directory;
}

DWORD instance_lock_reserve(const std::string& class_name, const std::string& title)
{
    std::lock_guard<std::mutex> guard(reserved_mutex);
    const std::string key = class_name + '\n' + title;
    if (reserved_locks().count(key) != 0) {
        return ERROR_SUCCESS;
    }
    const int descriptor = take_lock(class_name, title);
    if (descriptor < 0) {
        return errno == EWOULDBLOCK ? ERROR_ALREADY_EXISTS : errno_to_win32(errno);
    }
    reserved_locks()[key] = descriptor;
    return ERROR_SUCCESS;
}

int instance_lock_adopt(const std::string& class_name, const std::string& title)
{
    std::lock_guard<std::mutex> guard(reserved_mutex);
    const auto reserved = reserved_locks().find(class_name + '\n' + title);
    if (reserved == reserved_locks().end()) {
        return take_lock(class_name, title);
    }
    const int descriptor = reserved->second;
    reserved_locks().erase(reserved);
    return descriptor;
}

void instance_lock_release(int descriptor)
{
    if (descriptor >= 0) {
        close(descriptor);
    }
}
