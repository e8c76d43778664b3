// The machine-wide mark that a window of a class and title is open: an
// exclusive flock on a file named from both, in a directory that only the
// running user can write (DURANDEX_INSTANCE; else /run/durandex for root,
// $XDG_RUNTIME_DIR for others, else /tmp/durandex-UID). The file is opened
// without following links, and the kernel drops the lock however the process
// ends. Internal to the platform layer.
#pragma once

#include <string>

#include "platform/win32.h"

// The lock directory, opened (O_PATH); -1 with *problem saying why it cannot
// be used.
int instance_lock_directory(std::string* problem);

// Takes the lock for this process in one step, unless it already holds it.
// ERROR_SUCCESS when it now does, ERROR_ALREADY_EXISTS when another process
// holds it, else the Win32 code of why it could not be taken.
DWORD instance_lock_reserve(const std::string& class_name, const std::string& title);

// The descriptor of the lock that this process took for the class and title,
// taken now if it had not been; -1 when it cannot be had. The caller owns it.
int instance_lock_adopt(const std::string& class_name, const std::string& title);
void instance_lock_release(int descriptor);
