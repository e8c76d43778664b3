// The temporary drives of the engine tests on Windows. Drive letters are the
// system's own: run_gtest.py maps each letter a test may take to a small
// tmpfs before the program starts. A drive starts as the test found it and
// is put back so when the object goes.
#include "tests/engine/temp_drives.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "records/allocation.h"
#include "records/run_settings.h"

namespace {

std::string root_of(char letter) { return std::string(1, letter) + ":\\"; }

// Depth first, read-only files too; what cannot go is named on standard
// error and left (libstdc++'s remove_all loops for ever under Wine on a
// directory whose removal is pending). A task directory the program marked
// in use is removed only when the process ends: run_gtest.py runs each test
// in a process of its own.
void remove_tree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") {
            remove_tree(path + "\\" + name);
        }
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!(directory ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()))) {
        std::fprintf(stderr, "temporary drives: cannot remove %s (error %lu)\n", path.c_str(), GetLastError());
    }
}

}  // namespace

TempDrives::TempDrives()
{
    snprintf(run_settings.machine_name, sizeof run_settings.machine_name, "TESTHOST");
    run_settings.task_list = nullptr;
    run_settings.drive_list = nullptr;
}

TempDrives::~TempDrives()
{
    release_records();
    // Everything on the drives but what they held before goes.
    for (const auto& entry : directories_) {
        const std::string root = root_of(entry.first);
        for (const std::string& name : list_native_directory(root)) {
            if (std::find(kept_.begin(), kept_.end(), root + name) == kept_.end()) {
                remove_tree(root + name);
            }
        }
    }
}

std::string TempDrives::add_drive(char letter, UINT type)
{
    const std::string root = root_of(letter);
    if (GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) {
        throw std::runtime_error("drive " + root + " is not mapped: run the tests through run_gtest.py");
    }
    for (const std::string& name : list_native_directory(root)) {
        kept_.push_back(root + name);
    }
    return map_drive(letter, type, std::string(1, letter) + ":");
}

// The drives' sizes are the ones the test driver gave them.
std::string TempDrives::add_tmpfs_drive(char, ULONGLONG, std::string* why)
{
    *why = "a tmpfs of a chosen size is mounted by the Linux tests only";
    return "";
}

std::string TempDrives::add_ext4_drive(char, ULONGLONG, std::string* why)
{
    *why = "an ext4 image on a loop device is mounted by the Linux tests only";
    return "";
}

std::string TempDrives::map_drive(char letter, UINT type, const std::string& directory)
{
    directories_[letter] = {directory, type};
    add_drive_record(letter, type);
    return directory;
}

// The path with forward slashes, as the tests build native paths.
std::string TempDrives::native(const std::string& windows_path) const
{
    std::string native_path = windows_path;
    std::replace(native_path.begin(), native_path.end(), '\\', '/');
    return native_path;
}

size_t flip_on_the_device(const std::string&, const std::string&, off_t, char)
{
    throw std::logic_error("a file's blocks on its raw device are found with Linux's FIEMAP only");
}

// The sleeps take their real time, since Windows has no time scale.
const double rig_time_scale = 1.0;

void WorkerRig::fault_next_comparison(const std::string&, std::function<void(const std::string&)>)
{
    throw std::logic_error("a fault in the next comparison is armed through the Linux layer's seams only");
}
