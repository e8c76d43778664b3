// Structured exceptions on Linux: SIGBUS and SIGSEGV raised on a thread while
// run_guarded is active there are dispatched to that thread's guards, from the
// innermost outwards. A verdict to continue returns from the signal handler,
// so the kernel performs the faulting access again; a verdict to execute the
// handler jumps back into run_guarded. Faults no guard takes go to whatever
// handled the signal before the layer (or to the default action).
#include "platform/guard.h"

#include <errno.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace {

// Causes for the third parameter, as Windows reports the status underneath
// an in-page error.
constexpr DWORD cause_access_violation = 0xC0000005;
constexpr DWORD cause_datatype_misalignment = 0x80000002;
constexpr DWORD cause_device_data_error = 0xC000009C;
constexpr DWORD cause_io_device_error = 0xC0000185;

constexpr ULONG_PTR access_read = 0;
constexpr ULONG_PTR access_write = 1;
constexpr ULONG_PTR access_execute = 8;

// Room for a filter that formats and writes log lines, also under ASan.
constexpr size_t alternate_stack_size = 256 * 1024;

struct Guard {
    sigjmp_buf landing;
    GuardFilter filter;
    void* filter_context;
    Guard* outer;
    // Dispatch depth of this thread when the guard was entered; restored on
    // landing, since the dispatches the jump abandons never finish.
    sig_atomic_t depth_at_entry;
    // Nonzero while a dispatch (of that depth) has consulted this guard; a
    // fault raised meanwhile, by a filter, is for guards not yet consulted.
    volatile sig_atomic_t consulted_by;
};

// The signal handler reads these on the same thread; volatile keeps every
// store, the signal fences keep their order around the pass.
thread_local Guard* volatile innermost_guard = nullptr;
thread_local volatile sig_atomic_t dispatch_depth = 0;

#ifndef NDEBUG
// Locks this thread holds that a filter takes; read by the fault handler.
thread_local volatile sig_atomic_t filter_locks_held = 0;

// Async-signal-safe: the fault handler calls it too.
[[noreturn]] void die_holding_filter_lock(const char* what)
{
    static const char prefix[] = "durandex: ";
    static const char suffix[] = " while this thread holds a lock that the exception filter takes\n";
    (void)!write(STDERR_FILENO, prefix, sizeof prefix - 1);
    (void)!write(STDERR_FILENO, what, strlen(what));
    (void)!write(STDERR_FILENO, suffix, sizeof suffix - 1);
    abort();
}

void check_no_filter_lock_held(const char* what)
{
    if (filter_locks_held != 0) {
        die_holding_filter_lock(what);
    }
}
#else
void check_no_filter_lock_held(const char*) {}
#endif

struct sigaction previous_bus_action;
struct sigaction previous_segv_action;
std::once_flag handlers_installed;

DWORD cause_of(int signal_number, const siginfo_t* info)
{
    if (signal_number == SIGSEGV) {
        return cause_access_violation;
    }
    switch (info->si_code) {
    case BUS_ADRERR:
    case BUS_MCEERR_AR:
    case BUS_MCEERR_AO:
        return cause_device_data_error;
    case BUS_ADRALN:
        return cause_datatype_misalignment;
    default:
        return cause_io_device_error;
    }
}

PVOID faulting_instruction(const ucontext_t* context)
{
#if defined(__x86_64__)
    return reinterpret_cast<PVOID>(context->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<PVOID>(context->uc_mcontext.pc);
#else
    (void)context;
    return nullptr;
#endif
}

ULONG_PTR access_kind(const ucontext_t* context)
{
#if defined(__x86_64__)
    // The page-fault error code: bit 1 a write, bit 4 an instruction fetch.
    const greg_t error_code = context->uc_mcontext.gregs[REG_ERR];
    if (error_code & 0x10) {
        return access_execute;
    }
    return (error_code & 0x2) ? access_write : access_read;
#else
    (void)context;
    return access_read;
#endif
}

void describe_fault(int signal_number, const siginfo_t* info, const ucontext_t* context,
                    EXCEPTION_RECORD* record)
{
    *record = EXCEPTION_RECORD{};
    record->ExceptionCode = STATUS_IN_PAGE_ERROR;
    record->ExceptionFlags = 0;
    record->ExceptionAddress = faulting_instruction(context);
    record->NumberParameters = 3;
    record->ExceptionInformation[0] = access_kind(context);
    record->ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(info->si_addr);
    record->ExceptionInformation[2] = cause_of(signal_number, info);
}

// noexcept: an exception thrown by a filter cannot unwind through the signal
// frame, so it ends the process here instead of somewhere undefined.
LONG ask_filter(const Guard* guard, EXCEPTION_RECORD* record) noexcept
{
    EXCEPTION_POINTERS pointers = {record, nullptr};
    return guard->filter(guard->filter_context, record->ExceptionCode, &pointers);
}

void release_consulted(sig_atomic_t depth)
{
    for (Guard* guard = innermost_guard; guard != nullptr; guard = guard->outer) {
        if (guard->consulted_by == depth) {
            guard->consulted_by = 0;
        }
    }
}

#if defined(__SANITIZE_ADDRESS__)
// Leaving the alternate stack by a jump leaves the redzones of the handler's
// frames poisoned there; the next fault's frames would trip over them.
void unpoison_alternate_stack()
{
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_ONSTACK)) {
        __asan_unpoison_memory_region(current.ss_sp, current.ss_size);
    }
}
#else
void unpoison_alternate_stack() {}
#endif

[[noreturn]] void land_in(Guard* guard)
{
    unpoison_alternate_stack();
    siglongjmp(guard->landing, 1);
}

// A fault inside a filter must reach the outer guards (or end the process)
// rather than find its signal blocked, whatever mask the handler was entered
// with (ThreadSanitizer enters user handlers with every signal blocked).
// Returning from the handler or jumping restores the mask of before.
void unblock_fault_signals()
{
    sigset_t faults;
    sigemptyset(&faults);
    sigaddset(&faults, SIGBUS);
    sigaddset(&faults, SIGSEGV);
    pthread_sigmask(SIG_UNBLOCK, &faults, nullptr);
}

enum class Dispatch { resume, unhandled };

// Consults the guards that this fault may reach. Lands in the guard whose
// filter executes its handler and does not return then.
Dispatch dispatch_to_guards(EXCEPTION_RECORD* record)
{
    const sig_atomic_t depth = dispatch_depth + 1;
    dispatch_depth = depth;
    unblock_fault_signals();
    Dispatch outcome = Dispatch::unhandled;
    for (Guard* guard = innermost_guard; guard != nullptr; guard = guard->outer) {
        if (guard->consulted_by != 0) {
            continue;
        }
        guard->consulted_by = depth;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        const LONG verdict = ask_filter(guard, record);
        if (verdict > 0) {
            land_in(guard);
        }
        if (verdict < 0) {
            outcome = Dispatch::resume;
            break;
        }
    }
    release_consulted(depth);
    dispatch_depth = depth - 1;
    return outcome;
}

// What would have happened without the layer: the handler installed before
// it, or the default action, which the repeated fault then triggers.
void pass_on(int signal_number, siginfo_t* info, void* context)
{
    const struct sigaction& previous =
        signal_number == SIGBUS ? previous_bus_action : previous_segv_action;
    if (previous.sa_flags & SA_SIGINFO) {
        if (previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(signal_number, info, context);
            return;
        }
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal_number);
        return;
    }
    const bool raised_by_fault = info->si_code > 0;
    if (previous.sa_handler == SIG_IGN && !raised_by_fault) {
        return;
    }
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
    if (!raised_by_fault) {
        raise(signal_number);
    }
}

void on_fault(int signal_number, siginfo_t* info, void* context)
{
    const int saved_errno = errno;
    // A positive code means the kernel raised it for this thread's own
    // access; a signal sent by kill or raise is nobody's exception.
    if (info->si_code > 0 && innermost_guard != nullptr) {
        // The filter would wait for a lock its own thread holds.
        check_no_filter_lock_held("a guarded access faulted");
        EXCEPTION_RECORD record;
        describe_fault(signal_number, info, static_cast<const ucontext_t*>(context), &record);
        if (dispatch_to_guards(&record) == Dispatch::resume) {
            errno = saved_errno;
            return;
        }
    }
    pass_on(signal_number, info, context);
    errno = saved_errno;
}

void install_fault_handler(int signal_number, struct sigaction* previous)
{
    sigaction(signal_number, nullptr, previous);
    struct sigaction action = {};
    action.sa_sigaction = on_fault;
    // NODEFER: see unblock_fault_signals.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

void install_fault_handlers()
{
    install_fault_handler(SIGBUS, &previous_bus_action);
    install_fault_handler(SIGSEGV, &previous_segv_action);
}

// The calling thread's stack for fault handling, so that a filter has room
// even when the fault came from an exhausted thread stack. The stack that
// was set before (sanitizers set their own) comes back at thread exit.
class AlternateStack {
public:
    AlternateStack()
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        size_ = std::max(alternate_stack_size, static_cast<size_t>(SIGSTKSZ));
        size_ = (size_ + page - 1) / page * page;
        guard_size_ = page;
        void* mapping = mmap(nullptr, guard_size_ + size_, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (mapping == MAP_FAILED) {
            return;
        }
        // An overflow of the handler's stack hits this page instead of memory
        // that belongs to someone else.
        mprotect(mapping, guard_size_, PROT_NONE);
        mapping_ = mapping;
        stack_t stack = {};
        stack.ss_sp = static_cast<char*>(mapping) + guard_size_;
        stack.ss_size = size_;
        if (sigaltstack(&stack, &previous_) != 0) {
            release_mapping();
        }
    }

    ~AlternateStack()
    {
        if (mapping_ == nullptr) {
            return;
        }
        stack_t current;
        if (sigaltstack(nullptr, &current) == 0 &&
            current.ss_sp == static_cast<char*>(mapping_) + guard_size_) {
            stack_t restored = previous_;
            restored.ss_flags &= SS_DISABLE;
            sigaltstack(&restored, nullptr);
        }
        release_mapping();
    }

    AlternateStack(const AlternateStack&) = delete;
    AlternateStack& operator=(const AlternateStack&) = delete;

private:
    void release_mapping()
    {
        munmap(mapping_, guard_size_ + size_);
        mapping_ = nullptr;
    }

    void* mapping_ = nullptr;
    size_t size_ = 0;
    size_t guard_size_ = 0;
    stack_t previous_ = {};
};

void ensure_alternate_stack()
{
    thread_local AlternateStack stack;
}

}  // namespace

#if defined(__SANITIZE_THREAD__)
// Filters write logs (allocating, locking stdio) from inside the handler by
// design. The handler runs only for a fault of the pass's own memory access,
// synchronously, where the pass holds no allocator or stdio lock; the
// sanitizer's check assumes any signal may interrupt anything.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions()
{
    return "signal:dispatch_to_guards\n";
}
#endif

BOOL run_guarded(GuardedPass pass, void* pass_context, GuardFilter filter, void* filter_context)
{
    check_no_filter_lock_held("a guarded pass was entered");
    std::call_once(handlers_installed, install_fault_handlers);
    ensure_alternate_stack();

    Guard guard;
    guard.filter = filter;
    guard.filter_context = filter_context;
    guard.outer = innermost_guard;
    guard.depth_at_entry = dispatch_depth;
    guard.consulted_by = 0;
    // The mask saved here comes back with the jump: the pass may have blocked
    // signals, and the handler's frame is abandoned.
    if (sigsetjmp(guard.landing, 1) != 0) {
        innermost_guard = guard.outer;
        dispatch_depth = guard.depth_at_entry;
        return FALSE;
    }
    innermost_guard = &guard;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    try {
        pass(pass_context);
    } catch (...) {
        innermost_guard = guard.outer;
        throw;
    }
    std::atomic_signal_fence(std::memory_order_seq_cst);
    innermost_guard = guard.outer;
    return TRUE;
}

#ifndef NDEBUG
void note_filter_lock_taken()
{
    filter_locks_held = filter_locks_held + 1;
}

void note_filter_lock_released()
{
    filter_locks_held = filter_locks_held - 1;
}

void check_view_read()
{
    check_no_filter_lock_held("a mapped view was read");
}
#endif
