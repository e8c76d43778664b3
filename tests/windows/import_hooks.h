// The Windows tests' way in where the Linux layer has seams: the program's
// calls into system DLLs go through the import table of the test program,
// so a test can put its own function in an entry.
#pragma once

#include <windows.h>

// Points every import table entry of `function` (from any DLL) at
// `replacement`; the entry's former target goes to *original. FALSE when the
// program imports no such function.
BOOL hook_import(const char* function, void* replacement, void** original);
