// The parts of the drive and worker rigs that are the same on Linux and on
// Windows; each system's temp_drives.cpp maps the drives.
#include "temp_drives.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "engine/compare_worker.h"
#include "engine/names.h"
#include "engine/source_pattern.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_test_seams.h"

Task* TempDrives::add_task(char source, char target)
{
    Task* task = allocate_record<Task>();
    if (task == nullptr) {
        throw std::runtime_error("no memory for a task record");
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

void TempDrives::add_drive_record(char letter, UINT type)
{
    Drive* drive = allocate_record<Drive>();
    if (drive == nullptr) {
        throw std::runtime_error("no memory for the record of drive " + std::string(1, letter));
    }
    snprintf(drive->root_path, sizeof drive->root_path, "%c:\\", letter);
    snprintf(drive->dir_path, sizeof drive->dir_path, "%sdurandex\\TESTHOST", drive->root_path);
    drive->drive_type = type;
    drive->next = run_settings.drive_list;
    run_settings.drive_list = drives_[letter] = drive;
}

void TempDrives::release_records()
{
    // A worker that never ended may still touch its records: those are left.
    if (stop_workers()) {
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

std::vector<std::string> list_native_directory(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator at(path, error), end; !error && at != end; at.increment(error)) {
        names.push_back(at->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool wait_for_passes(std::atomic<DWORD>& refreshed, int passes)
{
    for (int pass = 0; pass < passes; ++pass) {
        refreshed = 0;
        if (!wait_until([&] { return refreshed.load() != 0; })) {
            return false;
        }
    }
    return true;
}

void WorkerRig::prepare_without_workers(BYTE file_count)
{
    format_task_dir(task->task_dir, task->target_drive, 4321, 1);
    format_log_path(task->log_path, task->target_drive, 1, 4321);
    format_time_base(task->time_path, task->target_drive, 1, 4321);
    std::filesystem::create_directories(drives.native(task->source_drive->dir_path));
    std::filesystem::create_directories(drives.native(task->task_dir));
    task->file_count = file_count;
    for (BYTE index = 0; index < file_count; ++index) {
        const std::string name = task->source_drive->dir_path + ("\\SRC." + std::to_string(index));
        HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        generate_source_file(task, index, file);
        CloseHandle(file);
        task->source_bytes += run_settings.source_file_sizes[index];
    }
    task->target_drive->target_task_count = 1;
}

void WorkerRig::start(LPTHREAD_START_ROUTINE worker)
{
    task->state = TaskState::Working;
    const bool compare_side = worker == compare_worker;
    std::atomic<DWORD>& id_field = compare_side ? task->compare_thread_id : task->copy_thread_id;
    // A worker that ends at once clears its id before CreateThread returns;
    // that 0 must stand.
    constexpr DWORD pending = 0xFFFFFFFF;
    id_field = pending;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, worker, task, 0, &id);
    (compare_side ? task->compare_thread : task->copy_thread) = thread;
    DWORD expected = pending;
    id_field.compare_exchange_strong(expected, id);
}

void WorkerRig::copy_iterations(DWORD last)
{
    for (DWORD iteration = 1; iteration <= last; ++iteration) {
        for (BYTE index = 0; index < task->file_count.load(); ++index) {
            std::filesystem::copy_file(source(index), copy(iteration, index), std::filesystem::copy_options::overwrite_existing);
        }
    }
    task->copy_count = last;
}

WorkerRig::WorkerRig(UINT source_type)
{
    clock_set_scale(rig_time_scale);
    const SYSTEMTIME fixed = {1996, 7, 3, 3, 9, 5, 0, 0};
    clock_fix_local_time(&fixed);
    system_fix_process_id(4321);
    drives.add_drive('C', source_type);
    drives.add_drive('D');
    task = drives.add_task('C', 'D');
}

WorkerRig::~WorkerRig()
{
    drives.stop_workers();
    set_message_box_observer(nullptr);
    fault_reset();
    system_fix_process_id(0);
    clock_fix_local_time(nullptr);
    clock_set_scale(1.0);
}
