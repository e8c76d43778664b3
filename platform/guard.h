// Stands in for structured exception handling around one pass of a worker's
// loop. A fault raised by the pass's own accesses to memory (a mapped view
// whose page cannot be read, a file truncated under its view) is handed to
// the filter as an in-page error. EXCEPTION_CONTINUE_EXECUTION repeats the
// faulting access; EXCEPTION_EXECUTE_HANDLER abandons the pass;
// EXCEPTION_CONTINUE_SEARCH hands the fault to the next guard further out.
// A fault that no guard takes crashes the process as it would without guards.
//
// The pass is left by a jump: it must not hold objects with destructors that
// own resources (strings, vectors, locks, smart pointers); keep what the
// recovery has to release outside the pass, in the pass's context.
//
// The filter runs on the faulting thread, on that thread's own alternate
// signal stack (256 KiB), while the faulting access waits. It must not throw:
// a C++ exception leaving the filter ends the process. The record it gets is
// valid only during the call; its ContextRecord is null. The record holds
// code STATUS_IN_PAGE_ERROR, flags 0 (continuable), the faulting instruction
// as ExceptionAddress and three parameters: the access (0 read, 1 write,
// 8 execute), the data address, and the cause as an NTSTATUS value
// (STATUS_DEVICE_DATA_ERROR for a page that could not be read in,
// STATUS_ACCESS_VIOLATION for an address the process may not touch).
//
// Guards nest on one thread: the innermost guard gets the fault first. A fault
// raised by a filter itself goes to the guards outside the one it decides for.
#pragma once

#include "platform/win32.h"

typedef LONG (*GuardFilter)(void* filter_context, DWORD code, EXCEPTION_POINTERS* info);
typedef void (*GuardedPass)(void* pass_context);

// Runs pass(pass_context) under a guard whose filter is
// filter(filter_context, code, info). TRUE when the pass ran to its end,
// FALSE when the filter chose to execute the handler.
BOOL run_guarded(GuardedPass pass, void* pass_context, GuardFilter filter, void* filter_context);
