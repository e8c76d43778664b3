// Fault injection for tests: the layer's operations can be armed to fail, and
// the bytes of the next copy can be corrupted. Unarmed, every operation runs
// for real.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// Every operation that can be armed. fault_arm knows each by its Win32 name.
enum class FaultOperation {
    CopyFileA,
    CreateFileA,
    ReadFile,
    WriteFile,
    GetFileSize,
    SetFilePointer,
    SetEndOfFile,
    FlushFileBuffers,
    DeleteFileA,
    GetFileAttributesA,
    SetFileAttributesA,
    CreateDirectoryA,
    RemoveDirectoryA,
    FindFirstFileA,
    FindNextFileA,
    FindClose,
    CreateFileMappingA,
    MapViewOfFile,
    UnmapViewOfFile,
    GetDriveTypeA,
    GetVolumeInformationA,
    GetDiskFreeSpaceA,
    GetComputerNameA,
    GlobalAlloc,
    CreateThread,
};
constexpr size_t fault_operation_count = static_cast<size_t>(FaultOperation::CreateThread) + 1;

// The next `count` calls of the operation named `operation` fail with `code`
// as last error; a count of 0 disarms it. An unknown name is refused with
// FALSE and ERROR_INVALID_PARAMETER.
BOOL fault_arm(const char* operation, DWORD count, DWORD code);

// Calls of the operation made from now on wait inside it until fault_reset,
// as a call to a drive that never answers does; then they run for real.
// An unknown name is refused as by fault_arm.
BOOL fault_hold(const char* operation);

// How many calls are waiting in a held operation.
DWORD fault_held_calls();

// The next file that CopyFileA writes has the byte at `offset` XORed with
// `mask` (when the file is that long).
void fault_corrupt_next_copy(DWORD offset, BYTE mask);

// Disarms everything and lets held calls go on.
void fault_reset();

// The one check at the entry of each armable operation: TRUE when it is
// armed, with its code set as the thread's last error and one armed call used up.
BOOL fault_check(FaultOperation operation);

// For CopyFileA: TRUE when a corruption is pending, taking it.
BOOL fault_take_copy_corruption(DWORD* offset, BYTE* mask);
