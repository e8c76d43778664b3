#include "records/drive.h"

#include <cstring>

BOOL refresh_free_space(Drive* drive)
{
    // Into locals first: a failed call must not leave half an answer in the
    // fields that other threads are reading.
    DWORD sectors_per_cluster = 0;
    DWORD bytes_per_sector = 0;
    DWORD free_clusters = 0;
    DWORD total_clusters = 0;
    if (!GetDiskFreeSpaceA(drive->root_path, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                           &total_clusters)) {
        return FALSE;
    }
    drive->sectors_per_cluster.store(sectors_per_cluster);
    drive->bytes_per_sector.store(bytes_per_sector);
    drive->free_clusters.store(free_clusters);
    drive->total_clusters.store(total_clusters);
    return TRUE;
}

void read_volume_data(Drive* drive)
{
    char volume_name[sizeof drive->volume_name] = {};
    char fs_name[sizeof drive->fs_name] = {};
    // A drive that cannot answer keeps the names it had.
    if (GetVolumeInformationA(drive->root_path, volume_name, sizeof volume_name, nullptr, nullptr,
                              nullptr, fs_name, sizeof fs_name)) {
        std::memcpy(drive->volume_name, volume_name, sizeof volume_name);
        std::memcpy(drive->fs_name, fs_name, sizeof fs_name);
    }
    refresh_free_space(drive);
}

ULONGLONG free_bytes(const Drive* drive)
{
    return static_cast<ULONGLONG>(drive->sectors_per_cluster.load()) * drive->bytes_per_sector.load() *
           drive->free_clusters.load();
}

ULONGLONG total_bytes(const Drive* drive)
{
    return static_cast<ULONGLONG>(drive->total_clusters.load()) * drive->sectors_per_cluster.load() *
           drive->bytes_per_sector.load();
}
