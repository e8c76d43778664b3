// The preparation thread: readies every task of the list for the run, then
// starts its workers.
#pragma once

#include "platform/win32.h"

// Thread routine started by Start; its parameter is ignored. Returns 0.
DWORD WINAPI prepare_tasks(LPVOID);

// The disk-space fit: the largest count, starting from `file_count` and
// going down, whose source files fit once in `source_room` (unless the source
// is a CD-ROM) and 2 x `target_tasks` + 1 times in the target's room (three
// times for a task alone on its target), less the source files themselves
// when both are on one drive. *source_bytes receives the bytes of the last
// count tried. 0 when not even one file fits.
BYTE fit_source_files(BYTE file_count, ULONGLONG source_room, ULONGLONG target_room,
                      BOOL same_drive, BOOL cd_source, DWORD* source_bytes,
                      DWORD target_tasks = 1);
