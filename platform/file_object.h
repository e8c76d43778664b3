// The kernel object behind a file handle, shared by the file, copy and
// mapping operations of the layer.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/handles.h"
#include "platform/win32.h"

struct FileObject : KernelObject {
    int descriptor;
    bool readable;
    bool writable;
    // FILE_FLAG_RANDOM_ACCESS / FILE_FLAG_SEQUENTIAL_SCAN as opened, so that
    // views of the file get the same hint.
    DWORD access_pattern;
};

// The file behind a handle, or null with last error 6.
FileObject* file_from_handle(HANDLE handle);

// Writes the file's dirty pages to the drive and drops its cached pages, so
// that what is read next comes from the media. Does nothing when
// DURANDEX_CACHED_READS=1.
void drop_cached_pages(int descriptor);

// The mode has no write bit: the file carries the read-only attribute.
bool mode_is_read_only(unsigned mode);

// The Win32 attributes of a file or directory: DIRECTORY, READONLY, or NORMAL for none.
DWORD attributes_of(const struct stat& status);
