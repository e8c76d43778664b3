// Temporary drives for engine tests: drive letters mapped to fresh
// directories (or small tmpfs mounts when the test runs as root), with the
// Drive and Task records that the engine works on. Everything is undone when
// the object goes: workers still running are asked to stop and waited for,
// records freed, mounts released and directories removed.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "drives/drive.h"
#include "engine/task.h"
#include "platform/win32.h"

class TempDrives {
public:
    // The machine name goes into run_settings and every drive's dir_path
    // (first 8 characters), as the drive inventory does it.
    explicit TempDrives(const char* machine_name = "TESTHOST");
    ~TempDrives();
    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    // Maps `letter` to a fresh directory and makes its Drive record (pushed
    // on run_settings.drive_list). Returns the drive's native directory.
    std::string add_drive(char letter, UINT type = DRIVE_FIXED);

    // As add_drive, but the directory is a tmpfs of `bytes`. Returns "" with
    // the reason in *why when not root or when the kernel refuses the mount.
    std::string add_tmpfs_drive(char letter, ULONGLONG bytes, std::string* why);

    // The Drive record of a letter added before (null when there is none).
    Drive* drive(char letter) const;

    // A task as the Drives dialog makes it: zero-filled, `Inactive`, 10
    // files, pushed at the head of run_settings.task_list.
    Task* add_task(char source, char target);

    // Native directory of a letter, and the native path of "X:\a\b".
    std::string directory(char letter) const;
    std::string native(const std::string& windows_path) const;

    // Sets every task to Cleanup and waits for both of its workers to clear
    // their ids. FALSE when one has not ended within `timeout`.
    BOOL stop_workers(std::chrono::milliseconds timeout = std::chrono::seconds(60));

private:
    void configure_drive_map();
    Drive* make_drive(char letter, UINT type);
    void release_mounts();

    std::string root_;
    std::string machine_name_;
    std::map<char, std::string> directories_;
    std::map<char, UINT> types_;
    std::map<char, Drive*> drives_;
    std::vector<Task*> tasks_;
    std::vector<std::string> mounts_;
};

// Files read and written by native path, for checking what the engine made.
std::string read_native_file(const std::string& path);
void write_native_file(const std::string& path, const std::string& content);
bool native_exists(const std::string& path);
// Names in a directory, sorted; empty when the directory does not exist.
std::vector<std::string> list_native_directory(const std::string& path);

// Polls `condition` every few milliseconds of real time until it holds or
// `timeout` passes; returns its last value.
bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
