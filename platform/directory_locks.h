// Which task directories belong to a live process. Each run marks its task
// directories in use (a shared flock on the directory, which the kernel drops
// however the process ends: killed, cut off, powered down); a directory that
// no process marks was left by a run that ended without its cleanup.
#pragma once

#include "platform/win32.h"

// Marks a directory below a drive as in use until this process ends.
BOOL directory_mark_in_use(LPCSTR path);

// TRUE when no process marks the directory: it is then held exclusively by
// this process until directory_unlock, so that no other process takes it for
// unused at the same time. FALSE when a process marks it or it cannot be
// opened (a link is never opened).
BOOL directory_lock_unused(LPCSTR path);
void directory_unlock(LPCSTR path);
