#include "temp_drives.h"

#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "engine/records.h"
#include "engine/run_settings.h"
#include "platform/drive_map.h"

namespace {

const char* drive_type_name(UINT type)
{
    switch (type) {
    case DRIVE_REMOVABLE:
        return "removable";
    case DRIVE_REMOTE:
        return "remote";
    case DRIVE_CDROM:
        return "cdrom";
    case DRIVE_RAMDISK:
        return "ramdisk";
    default:
        return "fixed";
    }
}

std::string make_temp_root()
{
    char pattern[] = "/tmp/durandex-drives-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    return pattern;
}

}  // namespace

TempDrives::TempDrives(const char* machine_name) : root_(make_temp_root()), machine_name_(machine_name)
{
    snprintf(run_settings.machine_name, sizeof run_settings.machine_name, "%s", machine_name);
    run_settings.task_list = nullptr;
    run_settings.drive_list = nullptr;
}

TempDrives::~TempDrives()
{
    if (!stop_workers()) {
        // A worker that never ended may still touch its records: leave them.
        fprintf(stderr, "TempDrives: a worker did not end; its records are not freed\n");
    } else {
        for (Task* task : tasks_) {
            if (task->copy_thread.load() != nullptr) {
                CloseHandle(task->copy_thread.load());
            }
            if (task->compare_thread.load() != nullptr) {
                CloseHandle(task->compare_thread.load());
            }
            free_record(task);
        }
        for (auto& entry : drives_) {
            free_record(entry.second);
        }
    }
    run_settings.task_list = nullptr;
    run_settings.drive_list = nullptr;
    release_mounts();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDrives::add_drive(char letter, UINT type)
{
    std::string directory = root_ + "/" + letter;
    std::filesystem::create_directories(directory);
    directories_[letter] = directory;
    types_[letter] = type;
    configure_drive_map();
    make_drive(letter, type);
    return directory;
}

std::string TempDrives::add_tmpfs_drive(char letter, ULONGLONG bytes, std::string* why)
{
    if (geteuid() != 0) {
        *why = "needs root to mount a tmpfs";
        return "";
    }
    std::string directory = root_ + "/" + letter;
    std::filesystem::create_directories(directory);
    std::string options = "size=" + std::to_string(bytes);
    if (mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        *why = std::string("the kernel refused a tmpfs mount: ") + strerror(errno);
        return "";
    }
    mounts_.push_back(directory);
    directories_[letter] = directory;
    types_[letter] = DRIVE_RAMDISK;
    configure_drive_map();
    make_drive(letter, DRIVE_RAMDISK);
    return directory;
}

Drive* TempDrives::drive(char letter) const
{
    auto found = drives_.find(letter);
    return found == drives_.end() ? nullptr : found->second;
}

Task* TempDrives::add_task(char source, char target)
{
    Task* task = allocate_record<Task>();
    if (task == nullptr) {
        throw std::runtime_error("cannot allocate a task");
    }
    task->source_drive = drive(source);
    task->target_drive = drive(target);
    task->file_count = source_file_count_max;
    task->state = Inactive;
    task->next = run_settings.task_list;
    run_settings.task_list = task;
    tasks_.push_back(task);
    return task;
}

std::string TempDrives::directory(char letter) const
{
    auto found = directories_.find(letter);
    return found == directories_.end() ? std::string() : found->second;
}

std::string TempDrives::native(const std::string& windows_path) const
{
    std::string native_path;
    DWORD code = 0;
    if (!translate_path(windows_path.c_str(), &native_path, &code)) {
        throw std::runtime_error("no native path for " + windows_path);
    }
    return native_path;
}

BOOL TempDrives::stop_workers(std::chrono::milliseconds timeout)
{
    for (Task* task : tasks_) {
        task->state = Cleanup;
    }
    return wait_until(
        [this] {
            for (Task* task : tasks_) {
                if (task->copy_thread_id != 0 || task->compare_thread_id != 0) {
                    return false;
                }
            }
            return true;
        },
        timeout);
}

void TempDrives::configure_drive_map()
{
    std::string setting;
    for (auto& entry : directories_) {
        if (!setting.empty()) {
            setting += ";";
        }
        setting += entry.first;
        setting += ":";
        setting += drive_type_name(types_[entry.first]);
        setting += "=" + entry.second;
    }
    std::string error;
    if (!drive_map_configure(setting.c_str(), &error)) {
        throw std::runtime_error("drive map refused " + setting + ": " + error);
    }
}

Drive* TempDrives::make_drive(char letter, UINT type)
{
    Drive* drive = allocate_record<Drive>();
    if (drive == nullptr) {
        throw std::runtime_error("cannot allocate a drive");
    }
    snprintf(drive->root_path, sizeof drive->root_path, "%c:\\", letter);
    snprintf(drive->dir_path, sizeof drive->dir_path, "%sdurandex\\%.8s", drive->root_path,
             machine_name_.c_str());
    drive->drive_type = type;
    drive->next = run_settings.drive_list;
    run_settings.drive_list = drive;
    drives_[letter] = drive;
    return drive;
}

void TempDrives::release_mounts()
{
    for (const std::string& mount_point : mounts_) {
        if (umount2(mount_point.c_str(), 0) != 0) {
            umount2(mount_point.c_str(), MNT_DETACH);
        }
    }
    mounts_.clear();
}

std::string read_native_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_native_file(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

bool native_exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

std::vector<std::string> list_native_directory(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code error;
    for (auto iterator = std::filesystem::directory_iterator(path, error);
         !error && iterator != std::filesystem::directory_iterator(); iterator.increment(error)) {
        names.push_back(iterator->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
