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

#include "platform/settings.h"

namespace {

std::string lock_directory()
{
    std::string setting = setting_text(Setting::Instance);
    if (!setting.empty()) {
        return setting;
    }
    struct stat info {};
    return stat("/run/lock", &info) == 0 && S_ISDIR(info.st_mode) ? "/run/lock" : "/tmp";
}

// Readable, and unique through a hash of the exact names.
std::string lock_path(const std::string& class_name, const std::string& title)
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
    return lock_directory() + "/" + readable.substr(0, 64) + "-" + suffix + ".lock";
}

int open_lock_file(const std::string& class_name, const std::string& title)
{
    return open(lock_path(class_name, title).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
}

}  // namespace

int instance_lock_take(const std::string& class_name, const std::string& title)
{
    const int descriptor = open_lock_file(class_name, title);
    if (descriptor < 0) {
        return -1;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

void instance_lock_release(int descriptor)
{
    if (descriptor >= 0) {
        close(descriptor);
    }
}

bool instance_lock_held_elsewhere(const std::string& class_name, const std::string& title)
{
    const int descriptor = open_lock_file(class_name, title);
    if (descriptor < 0) {
        return false;
    }
    const bool held = flock(descriptor, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(descriptor);
    return held;
}
