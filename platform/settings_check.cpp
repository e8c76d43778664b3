#include "platform/settings_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "platform/clock.h"
#include "platform/drive_map.h"
#include "platform/drive_paths.h"
#include "platform/settings.h"
#include "platform/ui/instance_lock.h"

namespace {

// The part of a machine's name that names its directory on every drive.
constexpr size_t short_machine_name_length = 8;

std::string unusable(Setting setting, const std::string& value, const std::string& reason)
{
    return std::string(setting_variable(setting)) + ": cannot use \"" + value + "\": " + reason;
}

// A file that text is appended to: it must open for appending without
// blocking and be a regular file. Made if missing, as its first use would.
std::string append_file_problem(const std::string& path)
{
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return errno == ENXIO ? "a FIFO that nobody reads, not a regular file" : std::strerror(errno);
    }
    struct stat status {};
    const bool regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
    close(descriptor);
    return regular ? "" : "not a regular file";
}

// A directory the program writes into, or makes in an existing directory.
std::string writable_directory_problem(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        const std::string::size_type slash = path.find_last_of('/');
        const std::string parent = slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
        if (errno == ENOENT && stat(parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
            access(parent.c_str(), W_OK | X_OK) == 0) {
            return "";
        }
        return "does not exist and cannot be made";
    }
    if (!S_ISDIR(status.st_mode)) {
        return "not a directory";
    }
    return access(path.c_str(), W_OK | X_OK) == 0 ? "" : "not writable by this user";
}

void check_append_file(Setting setting, std::vector<std::string>* problems)
{
    const std::string value = setting_text(setting);
    if (value.empty() || (setting == Setting::DebugOutput && value == "-")) {
        return;
    }
    const std::string problem = append_file_problem(value);
    if (!problem.empty()) {
        problems->push_back(unusable(setting, value, problem));
    }
}

void check_choice(Setting setting, std::initializer_list<const char*> choices, const char* expected,
                  std::vector<std::string>* problems)
{
    const std::string value = setting_text(setting);
    if (value.empty()) {
        return;
    }
    for (const char* choice : choices) {
        if (value == choice) {
            return;
        }
    }
    problems->push_back(setting_problem(setting, "value", value, expected));
}

void check_time_scale(std::vector<std::string>* problems)
{
    const std::string value = setting_text(Setting::TimeScale);
    double scale = 0.0;
    if (!value.empty() && !clock_parse_scale(value.c_str(), &scale)) {
        problems->push_back(setting_problem(Setting::TimeScale, "value", value, clock_scale_range));
    }
}

void check_registry(std::vector<std::string>* problems)
{
    const std::string value = setting_text(Setting::Registry);
    const std::string problem = value.empty() ? "" : writable_directory_problem(value);
    if (!problem.empty()) {
        problems->push_back(unusable(Setting::Registry, value, problem));
    }
}

void check_instance(std::vector<std::string>* problems)
{
    std::string problem;
    const int directory = instance_lock_directory(&problem);
    if (directory >= 0) {
        close(directory);
        return;
    }
    const std::string value = setting_text(Setting::Instance);
    problems->push_back(value.empty() ? "the single-instance lock directory " + problem
                                      : unusable(Setting::Instance, value, problem));
}

std::string short_machine_name()
{
    char name[MAX_COMPUTERNAME_LENGTH + 256] = {};
    DWORD size = sizeof name;
    const std::string whole = GetComputerNameA(name, &size) ? name : "Unknown";
    return whole.substr(0, short_machine_name_length);
}

// The product and machine directories below a drive that a run would use:
// refused when someone else could have planted them.
std::string planted_directory_problem(const std::string& drive_directory)
{
    std::string path = drive_directory;
    for (const std::string& component : {std::string("durandex"), short_machine_name()}) {
        path += (path.back() == '/' ? "" : "/") + component;
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0) {
            return "";
        }
        if (S_ISLNK(status.st_mode)) {
            return path + " is a link";
        }
        if (S_ISDIR(status.st_mode) && directory_is_foreign(status)) {
            const bool owned = status.st_uid == geteuid() || status.st_uid == 0;
            return path + (owned ? " is writable by others" : " belongs to user " + std::to_string(status.st_uid)) +
                   ", so another user could have planted what is in it";
        }
    }
    return "";
}

std::string drive_problem(const DriveMapping& drive)
{
    struct stat status {};
    if (stat(drive.directory.c_str(), &status) != 0) {
        return drive.directory + " does not exist";
    }
    if (!S_ISDIR(status.st_mode)) {
        return drive.directory + " is not a directory";
    }
    // A CD-ROM drive is only ever read.
    if (drive.type != DRIVE_CDROM && access(drive.directory.c_str(), W_OK | X_OK) != 0) {
        return drive.directory + " is not writable by this user";
    }
    return drive.type == DRIVE_CDROM ? "" : planted_directory_problem(drive.directory);
}

// Loads the drive map, so that no later lookup reads the environment, and
// holds the operator's drives to what a run needs of them.
void check_drives(std::vector<std::string>* problems)
{
    std::vector<DriveMapping> drives;
    std::string error;
    if (!drive_map_load(&drives, &error)) {
        problems->push_back(error);
        return;
    }
    if (setting_text(Setting::Drives).empty()) {
        return;
    }
    for (const DriveMapping& drive : drives) {
        const std::string problem = drive_problem(drive);
        if (!problem.empty()) {
            problems->push_back(std::string(setting_variable(Setting::Drives)) + ": drive " + drive.letter +
                                ": " + problem);
        }
    }
}

}  // namespace

std::vector<std::string> settings_problems()
{
    std::vector<std::string> problems;
    check_drives(&problems);
    check_choice(Setting::CachedReads, {"0", "1"}, "0 or 1", &problems);
    check_time_scale(&problems);
    check_append_file(Setting::DebugOutput, &problems);
    check_append_file(Setting::EventLog, &problems);
    check_registry(&problems);
    check_choice(Setting::Ui, {"headless", "terminal"}, "headless or terminal", &problems);
    check_instance(&problems);
    return problems;
}
