// One task from C: to D: for running the workers for real: sleeps run fast,
// clock and process id are fixed, message boxes are recorded.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "records/task.h"
#include "temp_drives.h"

inline const std::string rig_stamp = "7/3/1996, 9:05 ";
inline const std::string rig_source_dir = "C:\\durandex\\TESTHOST";
inline const std::string rig_task_dir = "D:\\durandex\\TESTHOST\\4321-1.dir";
inline const std::string rig_alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz";

class WorkerRig {
public:
    explicit WorkerRig(UINT source_type = DRIVE_FIXED);
    ~WorkerRig();

    // Directories, names and source files as preparation makes them, without
    // workers, so that a test can play the copy side.
    void prepare_without_workers(BYTE file_count);
    // Sets the task Working and starts one worker routine.
    void start(LPTHREAD_START_ROUTINE worker);
    // Copies of every file for iterations 1..last, then copy_count = last.
    void copy_iterations(DWORD last);

    // A main window for the status cells; shows_status tells whether the
    // task's cell shows `word` followed by a blank or the row's end.
    void open_main_window();
    bool shows_status(const std::string& word) const;

    std::string log() const { return read_native_file(native(task->log_path)); }
    std::string native(const std::string& windows_path) const { return drives.native(windows_path); }
    std::string source(BYTE index) const;
    std::string copy(DWORD iteration, BYTE index) const;
    void on_box(std::function<void(const std::string& caption)> action)
    {
        std::lock_guard<std::mutex> lock(boxes_mutex_);
        box_action_ = std::move(action);
    }
    std::vector<std::string> boxes() const  // "caption|text"
    {
        std::lock_guard<std::mutex> lock(boxes_mutex_);
        return boxes_;
    }

    TempDrives drives;
    Task* task;

private:
    HWND window_ = nullptr;
    mutable std::mutex boxes_mutex_;
    std::vector<std::string> boxes_;
    std::function<void(const std::string&)> box_action_;
};

size_t count_of(const std::string& text, const std::string& needle);
bool is_read_only(const std::string& native_path);
