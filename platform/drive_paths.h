// Paths under a drive, reached without following links. The drive's own
// directory is the operator's choice and may be reached through links; every
// component below it is opened on its own with O_NOFOLLOW, so that a link
// planted by someone else is never followed, and every directory on the way
// must belong to this user or to root and be closed to others' writes.
// Internal to the platform layer.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/win32.h"

struct DrivePath {
    int parent = -1;     // the directory that holds `name`
    std::string name;    // the last component; "." for the drive's own directory
    std::string native;  // the whole native path, for messages

    DrivePath() = default;
    DrivePath(const DrivePath&) = delete;
    DrivePath& operator=(const DrivePath&) = delete;
    ~DrivePath();
};

// Opens the directories on the way to the last component. FALSE with the
// last error set: the drive path's own codes, 3 for a directory on the way
// that is missing or no directory, 1920 for a link on the way, 5 for a
// directory on the way that another user could have planted or could change.
bool open_drive_path(LPCSTR windows_path, DrivePath* path);

// Owned by neither this user nor root, or writable by others.
bool directory_is_foreign(const struct stat& status);

// A file that writing to would change someone else's bytes: owned by another
// user, or with more names than this one (a hard link planted beside ours).
bool file_is_foreign(const struct stat& status);

// The last component's status, without following it; FALSE with errno set.
bool status_of(const DrivePath& path, struct stat* status);

// Opens the last component as a directory for listing; -1 with the last
// error set (1920 when it is a link).
int open_directory_of(const DrivePath& path);

// Opens the last component with `flags` (and `mode` when it creates), never
// through a link and never blocking on a FIFO; refuses anything but a regular
// file, and for writing someone else's file, before changing a byte. -1 with
// errno set (ELOOP for a link, EACCES for what it refuses).
int open_regular_file(const DrivePath& path, int flags, mode_t mode);
