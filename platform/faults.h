// Fault injection for tests: named Win32 operations can be armed to fail, and
// the bytes of the next copy can be corrupted. Unarmed, every operation runs
// for real.
#pragma once

#include "platform/win32.h"

// The next `count` calls of the operation named by its Win32 name (for
// example "CopyFileA") fail with `code` as last error.
void fault_arm(const char* operation, DWORD count, DWORD code);

// The next file that CopyFileA writes has the byte at `offset` XORed with
// `mask` (when the file is that long).
void fault_corrupt_next_copy(DWORD offset, BYTE mask);

// Disarms everything.
void fault_reset();

// For the layer's operations: TRUE when the operation is armed, with its code
// in *code and one armed call used up.
BOOL fault_take(const char* operation, DWORD* code);

// The one check at the entry of each operation of the layer: TRUE when the
// operation is armed, with its code set as the thread's last error and one
// armed call used up.
BOOL fault_check(const char* operation);

// For CopyFileA: TRUE when a corruption is pending, taking it.
BOOL fault_take_copy_corruption(DWORD* offset, BYTE* mask);
