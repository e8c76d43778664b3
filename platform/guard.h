// Stands in for structured exception handling around one pass of a worker's
// loop. A fault raised by the pass's own accesses to memory (a mapped view
// whose page cannot be read, a file truncated under its view) is handed to
// the filter as an in-page error. EXCEPTION_CONTINUE_EXECUTION repeats the
// faulting access; EXCEPTION_EXECUTE_HANDLER abandons the pass;
// EXCEPTION_CONTINUE_SEARCH hands the fault to the next guard further out.
// A fault that no guard takes crashes the process as it would without guards.
//
// The contract between a guarded pass, its filter and the layer:
//
// The pass
// - is left by a jump when its filter chooses the handler, so it holds no
//   object whose destructor owns a resource (strings, vectors, locks, smart
//   pointers): what the recovery has to release lives outside the pass, in
//   the pass's context;
// - never reads a mapped view (or touches any memory that may fault) while
//   it holds a lock that a filter takes. The filter runs on the faulting
//   thread while the faulting access waits; a lock the pass holds there is
//   never released, and the filter waits for it for ever. The program's
//   filter writes the task log, so no task-log lock may be held across a
//   view read: a view read sits between two log writes, never inside one.
//   Locks that a filter never takes may be held across a view read, but the
//   jump of an abandoned pass leaves them locked for good, so hold none;
// - may allocate, write files and take locks between its view reads.
//
// The filter
// - runs on the faulting thread, on that thread's own alternate signal stack
//   (256 KiB). What it interrupts is always the pass's own view read, never
//   the allocator or stdio, so it may allocate, format text, write files and
//   take locks, provided that no pass holds one of those locks across a view
//   read; it may also wait (a log that cannot be opened waits for the
//   operator's box), and the faulting pass waits with it;
// - releases every lock it takes before it returns its verdict: the layer
//   may jump out of the pass right after;
// - must not throw: a C++ exception leaving the filter ends the process;
// - gets a record that is valid only during the call; its ContextRecord is
//   null. The record holds code STATUS_IN_PAGE_ERROR, flags 0 (continuable),
//   the faulting instruction as ExceptionAddress and three parameters: the
//   access (0 read, 1 write, 8 execute), the data address, and the cause as
//   an NTSTATUS value (STATUS_DEVICE_DATA_ERROR for a page that could not be
//   read in, STATUS_ACCESS_VIOLATION for an address the process may not
//   touch).
//
// Guards nest on one thread: the innermost guard gets the fault first. A fault
// raised by a filter itself goes to the guards outside the one it decides for.
//
// A debug build (NDEBUG not defined) checks the rule on locks: code that holds
// a lock a filter takes says so (note_filter_lock_taken and _released), and a
// thread that holds one when it enters a guarded pass, when it is about to
// read a view (check_view_read) or when a guarded access faults ends the
// process at once with a message on standard error, instead of hanging on a
// bad sector some day.
#pragma once

#include "platform/win32.h"

typedef LONG (*GuardFilter)(void* filter_context, DWORD code, EXCEPTION_POINTERS* info);
typedef void (*GuardedPass)(void* pass_context);

// Runs pass(pass_context) under a guard whose filter is
// filter(filter_context, code, info). TRUE when the pass ran to its end,
// FALSE when the filter chose to execute the handler.
BOOL run_guarded(GuardedPass pass, void* pass_context, GuardFilter filter, void* filter_context);

// The count, per thread, of held locks that a filter takes: code calls the
// first when it has taken such a lock and the second when it has let it go.
// check_view_read goes before each read of a mapped view.
#ifdef NDEBUG
inline void note_filter_lock_taken() {}
inline void note_filter_lock_released() {}
inline void check_view_read() {}
#else
void note_filter_lock_taken();
void note_filter_lock_released();
void check_view_read();
#endif
