// Stands in for structured exception handling around one pass of a worker's
// loop. A fault raised by the pass's own accesses to memory (a mapped view
// whose page cannot be read, a file truncated under its view) is handed to
// the filter as an in-page error. EXCEPTION_CONTINUE_EXECUTION repeats the
// faulting access; EXCEPTION_EXECUTE_HANDLER abandons the pass. A fault
// outside every guard crashes the process as usual.
//
// The pass is left by a jump: it must not hold objects with destructors that
// own resources; keep what the recovery has to release outside the pass.
#pragma once

#include "platform/win32.h"

typedef LONG (*GuardFilter)(void* filter_context, DWORD code, EXCEPTION_POINTERS* info);
typedef void (*GuardedPass)(void* pass_context);

// Runs pass(pass_context) under a guard whose filter is
// filter(filter_context, code, info). TRUE when the pass ran to its end,
// FALSE when the filter chose to execute the handler.
BOOL run_guarded(GuardedPass pass, void* pass_context, GuardFilter filter, void* filter_context);
