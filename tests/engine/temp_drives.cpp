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

#include "records/allocation.h"
#include "records/run_settings.h"
#include "platform/drive_map.h"

namespace {

const char* drive_type_name(UINT type)
{
    return type == DRIVE_REMOVABLE ? "removable" : type == DRIVE_REMOTE ? "remote" : type == DRIVE_CDROM ? "cdrom"
           : type == DRIVE_RAMDISK ? "ramdisk" : "fixed";
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
            for (HANDLE thread : {task->copy_thread.load(), task->compare_thread.load()}) {
                if (thread != nullptr) {
                    CloseHandle(thread);
                }
            }
            free_record(task);
        }
        for (auto& entry : drives_) {
            free_record(entry.second);
        }
    }
    run_settings.task_list = nullptr;
    run_settings.drive_list = nullptr;
    for (const std::string& mount_point : mounts_) {
        if (umount2(mount_point.c_str(), 0) != 0) {
            umount2(mount_point.c_str(), MNT_DETACH);
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string TempDrives::add_drive(char letter, UINT type)
{
    std::string directory = root_ + "/" + letter;
    std::filesystem::create_directories(directory);
    return map_drive(letter, type, directory);
}

std::string TempDrives::add_tmpfs_drive(char letter, ULONGLONG bytes, std::string* why)
{
    std::string directory = root_ + "/" + letter;
    std::filesystem::create_directories(directory);
    std::string options = "size=" + std::to_string(bytes);
    if (geteuid() != 0 || mount("tmpfs", directory.c_str(), "tmpfs", 0, options.c_str()) != 0) {
        *why = geteuid() != 0 ? "needs root to mount a tmpfs" : std::string("tmpfs mount refused: ") + strerror(errno);
        return "";
    }
    mounts_.push_back(directory);
    return map_drive(letter, DRIVE_RAMDISK, directory);
}

std::string TempDrives::map_drive(char letter, UINT type, const std::string& directory)
{
    directories_[letter] = {directory, type};
    std::string setting;
    for (auto& [mapped, entry] : directories_) {
        setting += std::string(setting.empty() ? "" : ";") + mapped + ":" + drive_type_name(entry.second) + "=" +
                   entry.first;
    }
    std::string error;
    if (!drive_map_configure(setting.c_str(), &error)) {
        throw std::runtime_error("drive map refused " + setting + ": " + error);
    }
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
    return directory;
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
    task->state = TaskState::Inactive;
    task->next = run_settings.task_list;
    run_settings.task_list = task;
    tasks_.push_back(task);
    return task;
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

BOOL TempDrives::stop_workers()
{
    for (Task* task : tasks_) {
        task->state = TaskState::Cleanup;
    }
    return wait_until([this] {
        return std::all_of(tasks_.begin(), tasks_.end(),
                           [](const Task* task) { return task->copy_thread_id == 0 && task->compare_thread_id == 0; });
    });
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
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
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
