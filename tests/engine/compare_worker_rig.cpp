#include "compare_worker_rig.h"

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "engine/compare_worker.h"
#include "engine/names.h"
#include "records/run_settings.h"
#include "engine/source_pattern.h"
#include "engine/status_cell.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui/backend.h"
#include "platform/ui_seam.h"

WorkerRig::WorkerRig(UINT source_type)
{
    clock_set_scale(100.0);
    const SYSTEMTIME fixed = {1996, 7, 3, 3, 9, 5, 0, 0};
    clock_fix_local_time(&fixed);
    system_fix_process_id(4321);
    fault_reset();
    run_settings.line_size = 64;
    set_message_box_observer([this](HWND, const char* text, const char* caption, UINT) {
        std::lock_guard<std::mutex> lock(boxes_mutex_);
        boxes_.push_back(std::string(caption) + "|" + text);
        if (box_action_) {
            box_action_(caption);
        }
    });
    drives.add_drive('C', source_type);
    drives.add_drive('D');
    task = drives.add_task('C', 'D');
}

WorkerRig::~WorkerRig()
{
    drives.stop_workers();
    if (window_ != nullptr) {
        run_settings.main_window = nullptr;
        DestroyWindow(window_);
    }
    set_message_box_observer(nullptr);
    fault_reset();
    system_fix_process_id(0);
    clock_fix_local_time(nullptr);
    clock_set_scale(1.0);
}

void WorkerRig::prepare_without_workers(BYTE file_count)
{
    Drive* target = task->target_drive;
    for (const Drive* drive : {task->source_drive, target}) {
        mkdir((drives.directory(drive->root_path[0]) + "/durandex").c_str(), 0755);
        mkdir(native(drive->dir_path).c_str(), 0755);
    }
    format_task_dir(task->task_dir, target, 4321, 1);
    format_log_path(task->log_path, target, 1, 4321);
    format_time_base(task->time_path, target, 1, 4321);
    mkdir(native(task->task_dir).c_str(), 0755);
    task->file_count = file_count;
    DWORD bytes = 0;
    for (BYTE index = 0; index < file_count; ++index) {
        char name[MAX_PATH];
        format_source_name(name, task->source_drive, index);
        HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        generate_source_file(task, index, file);
        CloseHandle(file);
        bytes += run_settings.source_file_sizes[index];
    }
    task->source_bytes = bytes;
    target->target_task_count = 1;
}

void WorkerRig::start(LPTHREAD_START_ROUTINE worker)
{
    task->state = TaskState::Working;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, worker, task, 0, &id);
    if (thread == nullptr) {
        throw std::runtime_error("cannot start a worker");
    }
    bool compare_side = worker == compare_worker;
    (compare_side ? task->compare_thread : task->copy_thread) = thread;
    (compare_side ? task->compare_thread_id : task->copy_thread_id) = id;
}

void WorkerRig::copy_iterations(DWORD last)
{
    for (DWORD iteration = 1; iteration <= last; ++iteration) {
        for (BYTE index = 0; index < task->file_count.load(); ++index) {
            std::filesystem::copy_file(source(index), copy(iteration, index),
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    task->copy_count = last;
}

void WorkerRig::open_main_window()
{
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.lpszClassName = "DurandexWorkerRig";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(0, "DurandexWorkerRig", "Durandex", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              400, 140, nullptr, nullptr, nullptr, nullptr);
    run_settings.main_window = window_;
    task->row_y = 100;
}

bool WorkerRig::shows_status(const std::string& word) const
{
    std::string text;
    for (const WindowView& view : ui_view().windows) {
        if (view.handle == window_) {
            text = ui_window_text(view) + "\n";
        }
    }
    const size_t column = status_cell_x / 8;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string row = text.substr(start, end - start) + " ";
        if (row.size() > column + word.size() && row.compare(column, word.size() + 1, word + " ") == 0) {
            return true;
        }
    }
    return false;
}

std::string WorkerRig::source(BYTE index) const
{
    char name[MAX_PATH];
    format_source_name(name, task->source_drive, index);
    return native(name);
}

std::string WorkerRig::copy(DWORD iteration, BYTE index) const
{
    char name[MAX_PATH];
    format_copy_name(name, task, iteration, index);
    return native(name);
}

size_t count_of(const std::string& text, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

bool is_read_only(const std::string& native_path)
{
    struct stat status;
    return stat(native_path.c_str(), &status) == 0 && (status.st_mode & 0222) == 0;
}
