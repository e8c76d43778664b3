// The cluster geometry that GetDiskFreeSpaceA reports for a filesystem.
#pragma once

#include "platform/win32.h"

struct DiskGeometry {
    DWORD sectors_per_cluster;
    DWORD bytes_per_sector;
    DWORD free_clusters;
    DWORD total_clusters;
};

// From statvfs's fragment size and counts: 512-byte sectors, the fragment
// as the cluster, and clusters enlarged by the smallest power of two that
// lets the total count fit in 32 bits. The factor depends on the total only,
// so the geometry stays the same from call to call while the free count
// changes.
DiskGeometry disk_geometry(ULONGLONG fragment_size, ULONGLONG free_fragments, ULONGLONG total_fragments);
