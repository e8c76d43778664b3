// One record per drive of the machine, kept in the drive list.
#pragma once

#include <atomic>

#include "platform/win32.h"

struct Drive {
    char root_path[8];
    char dir_path[MAX_PATH];
    DWORD drive_type;
    std::atomic<BYTE> target_task_count{};
    WORD button_id;
    char volume_name[20];
    char fs_name[20];
    // The geometry is refreshed by every worker that writes to the drive;
    // each field is stored whole.
    std::atomic<DWORD> sectors_per_cluster{};
    std::atomic<DWORD> bytes_per_sector{};
    std::atomic<DWORD> free_clusters{};
    std::atomic<DWORD> total_clusters{};
    Drive* next;
};

// Asks GetDiskFreeSpaceA for the drive's geometry and stores it; on failure
// the record keeps its previous values and the thread's last error is the
// call's.
BOOL refresh_free_space(Drive* drive);

// Reads the volume label, file-system name and geometry; results unexamined.
void read_volume_data(Drive* drive);

// Byte counts formed in 64 bits so that large drives do not wrap.
ULONGLONG free_bytes(const Drive* drive);
ULONGLONG total_bytes(const Drive* drive);
