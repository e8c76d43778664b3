// The guard across threads: each worker's faults reach its own guard only,
// and each thread gets its own alternate stack, given back at thread exit.
#include <gtest/gtest.h>
#include <errno.h>
#include <signal.h>
#include <sys/mman.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/guard.h"
#include "tests/platform/guard_truncated_view.h"

namespace {

constexpr int worker_count = 2;
constexpr int continues_per_worker = 5;

struct WorkerFaults {
    std::atomic<int>* arrived = nullptr;
    ULONG_PTR own_address = 0;
    int calls = 0;
    int foreign_addresses = 0;
    bool met_other_worker = false;
};

// Holds the first fault until every worker has one, so that the guards of
// both threads are dispatching at the same time.
LONG meet_then_count(void* context, DWORD, EXCEPTION_POINTERS* info)
{
    auto* faults = static_cast<WorkerFaults*>(context);
    ++faults->calls;
    if (info->ExceptionRecord->ExceptionInformation[1] != faults->own_address) {
        ++faults->foreign_addresses;
    }
    if (faults->calls == 1) {
        faults->arrived->fetch_add(1);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (faults->arrived->load() < worker_count && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::yield();
        }
        faults->met_other_worker = faults->arrived->load() == worker_count;
    }
    return faults->calls <= continues_per_worker ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST(GuardThreadsTest, GuardsOnTwoThreadsKeepTheirFaultsApart)
{
    TruncatedView views[worker_count];
    for (const auto& view : views) {
        ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";
    }
    std::atomic<int> arrived{0};
    WorkerFaults faults[worker_count];
    ReadPass passes[worker_count];
    BOOL results[worker_count] = {-1, -1};
    std::thread workers[worker_count];
    for (int i = 0; i < worker_count; ++i) {
        faults[i].arrived = &arrived;
        faults[i].own_address = reinterpret_cast<ULONG_PTR>(views[i].lost_byte());
        passes[i].address = views[i].lost_byte();
        workers[i] = std::thread([&, i] {
            results[i] = run_guarded(read_one_byte, &passes[i], meet_then_count, &faults[i]);
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }

    for (int i = 0; i < worker_count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i], FALSE);
        EXPECT_TRUE(faults[i].met_other_worker);
        EXPECT_EQ(faults[i].calls, continues_per_worker + 1);
        EXPECT_EQ(faults[i].foreign_addresses, 0);
        EXPECT_EQ(passes[i].started, 1);
        EXPECT_FALSE(passes[i].finished);
    }
}

void* current_alternate_stack()
{
    stack_t current;
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE)) {
        return nullptr;
    }
    return current.ss_sp;
}

std::atomic<void*> stack_seen_at_exit{nullptr};

// Built before the guard's own stack on the thread, so destroyed after it:
// sees what the thread is left with.
struct ExitProbe {
    ~ExitProbe() { stack_seen_at_exit.store(current_alternate_stack()); }
};

struct StackSeen {
    void* stack = nullptr;
    bool on_it = false;
};

LONG note_alternate_stack(void* context, DWORD, EXCEPTION_POINTERS*)
{
    auto* seen = static_cast<StackSeen*>(context);
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0) {
        seen->stack = current.ss_sp;
        seen->on_it = (current.ss_flags & SS_ONSTACK) != 0;
    }
    return EXCEPTION_EXECUTE_HANDLER;
}

TEST(GuardThreadsTest, EachThreadHasItsOwnAlternateStackUntilItEnds)
{
    TruncatedView view;
    ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";

    StackSeen seen[2];
    void* before[2] = {};
    void* at_exit[2] = {};
    int unmapped[2] = {};
    const long page = sysconf(_SC_PAGESIZE);
    for (int i = 0; i < 2; ++i) {
        std::thread([&, i] {
            thread_local ExitProbe probe;
            (void)probe;
            before[i] = current_alternate_stack();
            ReadPass pass;
            pass.address = view.lost_byte();
            run_guarded(read_one_byte, &pass, note_alternate_stack, &seen[i]);
        }).join();
        at_exit[i] = stack_seen_at_exit.load();
        unmapped[i] = seen[i].stack != nullptr &&
                      msync(seen[i].stack, static_cast<size_t>(page), MS_ASYNC) == -1 && errno == ENOMEM;
    }

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(seen[i].on_it);
        ASSERT_NE(seen[i].stack, nullptr);
        EXPECT_NE(seen[i].stack, before[i]) << "the thread got a stack of the guard's own";
        EXPECT_EQ(at_exit[i], before[i]) << "the stack the thread had before comes back at exit";
        EXPECT_TRUE(unmapped[i]) << "the guard's stack is unmapped at thread exit";
    }
}

}  // namespace
