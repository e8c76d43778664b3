#include "platform/faults.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace {

constexpr std::array<const char*, fault_operation_count> operation_names = {
    "CopyFileA",        "CreateFileA",        "ReadFile",           "WriteFile",
    "GetFileSize",      "SetFilePointer",     "SetEndOfFile",       "FlushFileBuffers",
    "DeleteFileA",      "GetFileAttributesA", "SetFileAttributesA", "CreateDirectoryA",
    "RemoveDirectoryA", "FindFirstFileA",     "FindNextFileA",      "FindClose",
    "CreateFileMappingA", "MapViewOfFile",    "UnmapViewOfFile",    "GetDriveTypeA",
    "GetVolumeInformationA", "GetDiskFreeSpaceA", "GetComputerNameA", "GlobalAlloc",
    "CreateThread"};

struct ArmedFailure {
    DWORD remaining;
    DWORD code;
};

struct CopyCorruption {
    bool pending;
    DWORD offset;
    BYTE mask;
};

std::mutex faults_mutex;
std::array<ArmedFailure, fault_operation_count> armed{};
CopyCorruption copy_corruption{};

std::array<bool, fault_operation_count> holding{};
DWORD held_calls = 0;

// How many operations are armed or held: an unarmed call reads only this.
std::atomic<size_t> armed_count{0};

// Never destroyed: a held call may still wait in it when the process ends.
std::condition_variable& holds_released()
{
    static auto* released = new std::condition_variable();
    return *released;
}

size_t operation_index(const char* operation)
{
    for (size_t index = 0; index < fault_operation_count; ++index) {
        if (operation != nullptr && std::strcmp(operation, operation_names[index]) == 0) {
            return index;
        }
    }
    return fault_operation_count;
}

// Callers hold faults_mutex.
void set_holding(size_t index, bool hold)
{
    if (holding[index] != hold) {
        holding[index] = hold;
        hold ? armed_count.fetch_add(1, std::memory_order_relaxed)
             : armed_count.fetch_sub(1, std::memory_order_relaxed);
    }
}

// Callers hold the lock; it is released while the call waits.
void wait_while_held(std::unique_lock<std::mutex>& lock, size_t index)
{
    ++held_calls;
    holds_released().wait(lock, [index] { return !holding[index]; });
    --held_calls;
}

// Callers hold faults_mutex.
void set_armed(size_t index, ArmedFailure failure)
{
    const bool was_armed = armed[index].remaining != 0;
    const bool is_armed = failure.remaining != 0;
    armed[index] = failure;
    if (was_armed && !is_armed) {
        armed_count.fetch_sub(1, std::memory_order_relaxed);
    } else if (!was_armed && is_armed) {
        armed_count.fetch_add(1, std::memory_order_relaxed);
    }
}

}  // namespace

BOOL fault_arm(const char* operation, DWORD count, DWORD code)
{
    const size_t index = operation_index(operation);
    if (index == fault_operation_count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(faults_mutex);
    set_armed(index, ArmedFailure{count, code});
    return TRUE;
}

BOOL fault_hold(const char* operation)
{
    const size_t index = operation_index(operation);
    if (index == fault_operation_count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(faults_mutex);
    set_holding(index, true);
    return TRUE;
}

DWORD fault_held_calls()
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    return held_calls;
}

void fault_corrupt_next_copy(DWORD offset, BYTE mask)
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    copy_corruption = CopyCorruption{true, offset, mask};
}

void fault_reset()
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    for (size_t index = 0; index < fault_operation_count; ++index) {
        set_armed(index, ArmedFailure{});
        set_holding(index, false);
    }
    copy_corruption = CopyCorruption{};
    holds_released().notify_all();
}

BOOL fault_check(FaultOperation operation)
{
    if (armed_count.load(std::memory_order_relaxed) == 0) {
        return FALSE;
    }
    DWORD code = 0;
    {
        std::unique_lock<std::mutex> lock(faults_mutex);
        const auto index = static_cast<size_t>(operation);
        if (holding[index]) {
            wait_while_held(lock, index);
        }
        const ArmedFailure failure = armed[index];
        if (failure.remaining == 0) {
            return FALSE;
        }
        set_armed(index, ArmedFailure{failure.remaining - 1, failure.code});
        code = failure.code;
    }
    SetLastError(code);
    return TRUE;
}

BOOL fault_take_copy_corruption(DWORD* offset, BYTE* mask)
{
    std::lock_guard<std::mutex> lock(faults_mutex);
    if (!copy_corruption.pending) {
        return FALSE;
    }
    *offset = copy_corruption.offset;
    *mask = copy_corruption.mask;
    copy_corruption = CopyCorruption{};
    return TRUE;
}
