// Drive letters mapped to fresh directories (or small tmpfs mounts when root)
// with their Drive and Task records; all undone when the object goes.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "records/drive.h"
#include "records/task.h"
#include "platform/win32.h"
#include "tests/support.h"

class TempDrives {
public:
    TempDrives();  // the machine is TESTHOST
    ~TempDrives();
    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    // Maps `letter` to a fresh directory with a Drive record; returns the directory.
    std::string add_drive(char letter, UINT type = DRIVE_FIXED);
    // As add_drive on a tmpfs of `bytes`; "" with the reason in *why when not
    // root or when the kernel refuses the mount.
    std::string add_tmpfs_drive(char letter, ULONGLONG bytes, std::string* why);
    // As add_tmpfs_drive on ext4 in a sparse image of `bytes` on a loop device;
    // the image lies beside the directory, as image(letter).
    std::string add_ext4_drive(char letter, ULONGLONG bytes, std::string* why);
    std::string image(char letter) const { return directory(letter) + ".img"; }
    void unmount_later(const std::string& mount_point) { mounts_.push_back(mount_point); }
    // The record of a mapped letter, never null; throws for a letter never mapped.
    Drive* drive(char letter) const { return drives_.at(letter); }
    // A task as the Drives dialog makes it, at the head of the task list.
    Task* add_task(char source, char target);

    std::string directory(char letter) const { return directories_.count(letter) ? directories_.at(letter).first : ""; }
    std::string native(const std::string& windows_path) const;

    // Sets every task to Cleanup and waits for its workers to clear their ids.
    BOOL stop_workers();

private:
    std::string map_drive(char letter, UINT type, const std::string& directory);
    // The Drive record of a mapped letter, at the head of the drive list.
    void add_drive_record(char letter, UINT type);
    // Stops the workers, frees the records unless a worker never ended, and
    // empties the run's lists.
    void release_records();

    std::string root_;
    std::map<char, std::pair<std::string, UINT>> directories_;
    std::map<char, Drive*> drives_;
    std::vector<Task*> tasks_;
    std::vector<std::string> mounts_;
    std::vector<std::string> kept_;  // on Windows: what the drives' roots held before
};

inline void write_native_file(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }
// Names in a directory, sorted; empty when it does not exist.
std::vector<std::string> list_native_directory(const std::string& path);

// XORs `mask` into the byte at `offset` of every 4 KiB of `file` on `image`,
// the raw device under its filesystem; the file's next read comes from the
// damaged device. Returns how many bytes were flipped.
size_t flip_on_the_device(const std::string& file, const std::string& image, off_t offset, char mask);

// Clears a field a worker sets afresh on each pass and waits for it `passes`
// times: once it is seen again, every pass before has ended.
bool wait_for_passes(std::atomic<DWORD>& refreshed, int passes);

inline const std::string rig_stamp = "7/3/1996, 9:05 ";
inline const std::string rig_task_dir = "D:\\durandex\\TESTHOST\\4321-1.dir";

// How much faster than real time a WorkerRig's sleeps run: Linux's clock
// scales them, while Windows has real time only.
extern const double rig_time_scale;

// One task from C: to D: for running the workers for real: sleeps run fast,
// clock and process id are fixed.
class WorkerRig {
public:
    explicit WorkerRig(UINT source_type = DRIVE_FIXED);
    ~WorkerRig();
    // Directories, names and source files as preparation makes them, without
    // workers, so that a test can play the other worker.
    void prepare_without_workers(BYTE file_count);
    void start(LPTHREAD_START_ROUTINE worker);  // sets the task Working
    void copy_iterations(DWORD last);          // copies of every file, then copy_count = last
    // The next comparison of `source` faults for real: the log goes to a
    // missing directory, and the box of its first write, the report of the
    // source view's first, failed try, makes the directory and cuts `source`
    // to nothing after its mapping was made and before its view is read.
    // `on_box` sees every later box as "caption|text".
    void fault_next_comparison(const std::string& source, std::function<void(const std::string&)> on_box);

    std::string native(const std::string& windows_path) const { return drives.native(windows_path); }
    std::string log(const Task* of = nullptr) const { return read_text_file(native((of ? of : task)->log_path)); }
    std::string source(BYTE index) const { return drives.directory('C') + "/durandex/TESTHOST/SRC." + std::to_string(index); }
    std::string copy(DWORD iteration, BYTE index) const
    {
        return native(task->task_dir + ("\\" + std::to_string(iteration) + "." + std::to_string(index)));
    }

    TempDrives drives;
    Task* task;
};

inline bool is_read_only(const std::string& native_path)
{
    using std::filesystem::perms;
    return (std::filesystem::status(native_path).permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
           perms::none;
}
