// The machine-wide mark that a window of a class and title is open: an
// exclusive flock on a file named from both, in the directory that
// DURANDEX_INSTANCE names (else /run/lock, else /tmp). The kernel drops the
// lock however the process ends. Internal to platform/ui.
#pragma once

#include <string>

// The locked file's descriptor, or -1 when the lock cannot be taken.
int instance_lock_take(const std::string& class_name, const std::string& title);
void instance_lock_release(int descriptor);

// True when another open file description (another process) holds the lock.
bool instance_lock_held_elsewhere(const std::string& class_name, const std::string& title);
