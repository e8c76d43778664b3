// Structured exception handling for one pass, built on a vectored exception
// handler: MinGW-w64 has no __try/__except. The handler asks the thread's
// guards, innermost first; to abandon a pass it resumes the faulting thread in
// a function that jumps back to where the guard began.
#include "platform/guard.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

#ifndef NDEBUG
// Locks this thread holds that a filter takes.
thread_local int filter_locks_held = 0;

void check_no_filter_lock_held(const char* what)
{
    if (filter_locks_held != 0) {
        std::fprintf(stderr, "durandex: %s while this thread holds a lock that the exception filter takes\n", what);
        std::abort();
    }
}
#else
void check_no_filter_lock_held(const char*) {}
#endif

struct Guard {
    GuardFilter filter;
    void* filter_context;
    Guard* outer;
    bool deciding;   // its filter runs now: a fault it raises goes further out
    void* jump[5];   // __builtin_setjmp's buffer
};

thread_local Guard* innermost_guard = nullptr;

// Only faults of the pass's own memory accesses: software exceptions (C++
// throws, debugger output) pass by untouched.
bool is_memory_fault(DWORD code)
{
    return code == EXCEPTION_IN_PAGE_ERROR || code == EXCEPTION_ACCESS_VIOLATION;
}

// Where an abandoned pass resumes: the stack below the guard is given up.
[[noreturn]] void leave_pass(Guard* guard)
{
    innermost_guard = guard->outer;
    __builtin_longjmp(guard->jump, 1);
}

// The first guard that may decide: a fault raised inside a filter goes to
// the guards outside the one deciding.
Guard* first_asked_guard()
{
    Guard* first = innermost_guard;
    for (Guard* guard = innermost_guard; guard != nullptr; guard = guard->outer) {
        if (guard->deciding) {
            first = guard->outer;
        }
    }
    return first;
}

// Resumes the thread in leave_pass(guard) on a fresh, aligned frame below the
// faulting one.
void resume_in_leave_pass(CONTEXT* context, Guard* guard)
{
    constexpr DWORD64 spare_stack = 512;
    context->Rsp = ((context->Rsp - spare_stack) & ~DWORD64{15}) - 8;
    context->Rcx = reinterpret_cast<DWORD64>(guard);
    context->Rip = reinterpret_cast<DWORD64>(&leave_pass);
}

LONG CALLBACK guard_handler(EXCEPTION_POINTERS* info)
{
    const DWORD code = info->ExceptionRecord->ExceptionCode;
    if (!is_memory_fault(code) || innermost_guard == nullptr) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    check_no_filter_lock_held("a guarded access faulted");
    for (Guard* guard = first_asked_guard(); guard != nullptr; guard = guard->outer) {
        guard->deciding = true;
        const LONG decision = guard->filter(guard->filter_context, code, info);
        guard->deciding = false;
        if (decision == EXCEPTION_CONTINUE_EXECUTION) {
            return EXCEPTION_CONTINUE_EXECUTION;
        }
        if (decision == EXCEPTION_EXECUTE_HANDLER) {
            resume_in_leave_pass(info->ContextRecord, guard);
            return EXCEPTION_CONTINUE_EXECUTION;
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void install_guard_handler()
{
    static std::once_flag installed;
    std::call_once(installed, [] { AddVectoredExceptionHandler(1, guard_handler); });
}

}  // namespace

BOOL run_guarded(GuardedPass pass, void* pass_context, GuardFilter filter, void* filter_context)
{
    check_no_filter_lock_held("a guarded pass was entered");
    install_guard_handler();
    Guard guard{filter, filter_context, innermost_guard, false, {}};
    if (__builtin_setjmp(guard.jump) != 0) {
        return FALSE;
    }
    innermost_guard = &guard;
    try {
        pass(pass_context);
    } catch (...) {
        // A C++ exception leaves the pass by unwinding; the guard goes with it.
        innermost_guard = guard.outer;
        throw;
    }
    innermost_guard = guard.outer;
    return TRUE;
}

#ifndef NDEBUG
void note_filter_lock_taken()
{
    ++filter_locks_held;
}

void note_filter_lock_released()
{
    --filter_locks_held;
}

void check_view_read()
{
    check_no_filter_lock_held("a mapped view was read");
}
#endif
