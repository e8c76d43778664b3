// The guard: what the filter is shown, what each verdict does, guards inside
// guards and guards on several threads. Every fault here is real: an access
// to a page cut off under a mapped view.
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/guard.h"
#include "tests/platform/files_test_support.h"
#include "tests/platform/guard_truncated_view.h"

namespace {

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file"; }
    TruncatedView view;
};

// The filter was asked once about an in-page error of the given access
// (0 read, 1 write) at `address`, with `status` as its cause.
void expect_one_in_page_error(const FaultLog& log, ULONG_PTR access, const volatile char* address, ULONG_PTR status)
{
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.code, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionCode, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionFlags, 0u) << "an in-page error is continuable";
    EXPECT_EQ(log.record.NumberParameters, 3u);
    EXPECT_EQ(log.record.ExceptionInformation[0], access);
    EXPECT_EQ(log.record.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(address));
    EXPECT_EQ(log.record.ExceptionInformation[2], status);
    EXPECT_NE(log.record.ExceptionAddress, nullptr);
    EXPECT_NE(log.record.ExceptionAddress, static_cast<const volatile void*>(address))
        << "the address of the record is the instruction, not the data";
    EXPECT_TRUE(log.context_record_null);
}

// A write to the read-only view is an access violation; its kind is read
// from the x86-64 page-fault error code.
TEST_F(GuardTest, FaultsReachTheFilterAsInPageErrorsOfTheirAccessAndCause)
{
    ReadPass intact{view.intact_byte()};
    FaultLog log;
    EXPECT_EQ(run_guarded(read_one_byte, &intact, logging_filter, &log), TRUE);
    EXPECT_TRUE(intact.finished);
    EXPECT_EQ(intact.value, 'a');
    EXPECT_EQ(log.calls, 0);
    ReadPass lost{view.lost_byte()};
    EXPECT_EQ(run_guarded(read_one_byte, &lost, logging_filter, &log), FALSE);
    expect_one_in_page_error(log, 0, lost.address, 0xC000009Cu);  // a read; device data error
    EXPECT_FALSE(lost.finished);
#if defined(__x86_64__)
    ReadPass written{view.intact_byte()};
    FaultLog write_log;
    EXPECT_EQ(run_guarded(write_one_byte, &written, logging_filter, &write_log), FALSE);
    expect_one_in_page_error(write_log, 1, written.address, 0xC0000005u);  // a write; access violation
    EXPECT_FALSE(written.finished);
#endif
}

TEST_F(GuardTest, EachContinueRepeatsTheAccessUntilTheHandlerIsChosen)
{
    ReadPass pass{view.lost_byte()};
    FaultLog log;
    log.continues = 3;
    EXPECT_EQ(run_guarded(read_one_byte, &pass, logging_filter, &log), FALSE);
    EXPECT_EQ(log.calls, 4) << "three repeats after the first fault";
    EXPECT_EQ(pass.started, 1) << "a repeat is the access, not the pass";
    EXPECT_FALSE(pass.finished);
}

TEST_F(GuardTest, ContinueAfterTheFileRegrowsCompletesThePassWithZeros)
{
    static int calls;
    calls = 0;
    const GuardFilter regrow_and_continue = [](void* context, DWORD, EXCEPTION_POINTERS*) -> LONG {
        ++calls;
        const bool regrown = static_cast<TruncatedView*>(context)->regrow();
        return regrown ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
    };
    ReadPass pass{view.lost_byte()};
    EXPECT_EQ(run_guarded(read_one_byte, &pass, regrow_and_continue, &view), TRUE);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(pass.finished);
    EXPECT_EQ(pass.value, '\0');
}

struct LogFile { std::string path; int lines_written = 0; };

// What the program's filter does with a fault: appends a line to a log file,
// allocating and locking as stdio does, and continues once. Sanitizers see
// its frames on the alternate stack again after every jump away from it.
LONG append_to_log(void* context, DWORD code, EXCEPTION_POINTERS*)
{
    auto* log = static_cast<LogFile*>(context);
    FILE* file = fopen(log->path.c_str(), "a");
    if (file != nullptr) {
        log->lines_written += fprintf(file, "Exception Code = %x\n", (unsigned)code) > 0 ? 1 : 0;
        fclose(file);
    }
    return log->lines_written % 2 == 1 ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(GuardTest, ThreadTakesFaultAfterFaultWritingALogAndStillRunsCleanPasses)
{
    const std::string directory = files_test::make_temp_directory();
    LogFile log{directory + "/task.log"};
    std::string expected;
    for (int round = 0; round < 50; ++round) {
        ReadPass faulting{view.lost_byte()};
        ASSERT_EQ(run_guarded(read_one_byte, &faulting, append_to_log, &log), FALSE) << round;
        ReadPass clean{view.intact_byte()};
        ASSERT_EQ(run_guarded(read_one_byte, &clean, append_to_log, &log), TRUE) << round;
        expected += "Exception Code = c0000006\nException Code = c0000006\n";
    }
    EXPECT_EQ(files_test::read_native(log.path), expected);
    files_test::remove_tree(directory);
}

struct MaskingPass { ReadPass read; bool blocked = false; };

void block_usr2_then_read(void* context)
{
    auto* pass = static_cast<MaskingPass*>(context);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    pass->blocked = pthread_sigmask(SIG_BLOCK, &usr2, nullptr) == 0;
    read_one_byte(&pass->read);
}

TEST_F(GuardTest, LeavingThePassRestoresTheSignalMaskOfItsStart)
{
    MaskingPass pass{{view.lost_byte()}};
    FaultLog log;
    ASSERT_EQ(run_guarded(block_usr2_then_read, &pass, logging_filter, &log), FALSE);
    ASSERT_TRUE(pass.blocked);
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &now), 0);
    EXPECT_EQ(sigismember(&now, SIGUSR2), 0);
    EXPECT_EQ(sigismember(&now, SIGBUS), 0);
}

// Nesting: the inner pass runs inside the outer one.
struct NestedPass {
    ReadPass inner_read;
    GuardFilter inner_filter;
    FaultLog* inner_log;
    BOOL inner_result = -1;
    bool outer_finished = false;
};

void run_inner_guard(void* context)
{
    auto* pass = static_cast<NestedPass*>(context);
    pass->inner_result = run_guarded(read_one_byte, &pass->inner_read, pass->inner_filter, pass->inner_log);
    pass->outer_finished = true;
}

// A filter that itself reads the address it is shown: that fault is not its
// own guard's.
LONG fault_inside_filter(void* context, DWORD code, EXCEPTION_POINTERS* info)
{
    logging_filter(context, code, info);
    const auto* address = reinterpret_cast<const volatile char*>(info->ExceptionRecord->ExceptionInformation[1]);
    return *address == 'a' ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(GuardTest, InnermostGuardTakesTheFaultAndHandsOnWhatItDoesNotHandle)
{
    struct Case { const char* name; GuardFilter inner_filter; LONG inner_verdict; int outer_calls; };
    for (const Case& c : {Case{"inner handler", logging_filter, EXCEPTION_EXECUTE_HANDLER, 0},
                          Case{"inner search goes on", logging_filter, EXCEPTION_CONTINUE_SEARCH, 1},
                          Case{"fault inside the inner filter", fault_inside_filter, EXCEPTION_EXECUTE_HANDLER, 1}}) {
        SCOPED_TRACE(c.name);
        FaultLog inner_log;
        inner_log.final_verdict = c.inner_verdict;
        FaultLog outer_log;
        NestedPass pass{{view.lost_byte()}, c.inner_filter, &inner_log};
        const BOOL handled_inside = c.outer_calls == 0;
        EXPECT_EQ(run_guarded(run_inner_guard, &pass, logging_filter, &outer_log), handled_inside);
        EXPECT_EQ(inner_log.calls, 1) << "an inner filter is not asked about its own fault";
        EXPECT_EQ(outer_log.calls, c.outer_calls);
        EXPECT_EQ(pass.outer_finished, handled_inside) << "a fault the outer guard takes leaves the inner one too";
        if (handled_inside) {
            EXPECT_EQ(pass.inner_result, FALSE);
        } else {
            EXPECT_EQ(outer_log.record.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(view.lost_byte()));
        }
    }
}

// Across threads: each worker's faults reach its own guard only, and each
// thread gets its own alternate stack, given back at thread exit.
constexpr int worker_count = 2;
constexpr int continues_per_worker = 5;

void* current_alternate_stack(bool* on_it = nullptr)
{
    stack_t current;
    if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE)) {
        return nullptr;
    }
    if (on_it != nullptr) {
        *on_it = (current.ss_flags & SS_ONSTACK) != 0;
    }
    return current.ss_sp;
}

// Built before the guard's own stack on the thread, so destroyed after it:
// sees what the thread is left with.
struct ExitProbe {
    void** seen;
    ~ExitProbe() { *seen = current_alternate_stack(); }
};

struct WorkerFaults {
    std::atomic<int>* arrived = nullptr;
    ULONG_PTR own_address = 0;
    int calls = 0;
    int foreign_addresses = 0;
    bool met_other_worker = false;
    void* stack = nullptr;
    bool on_stack = false;
};

// Holds the first fault until every worker has one, so that the guards of
// both threads are dispatching at the same time.
LONG meet_then_count(void* context, DWORD, EXCEPTION_POINTERS* info)
{
    auto* faults = static_cast<WorkerFaults*>(context);
    ++faults->calls;
    faults->foreign_addresses += info->ExceptionRecord->ExceptionInformation[1] != faults->own_address;
    if (faults->calls == 1) {
        faults->stack = current_alternate_stack(&faults->on_stack);
        faults->arrived->fetch_add(1);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (faults->arrived->load() < worker_count && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::yield();
        }
        faults->met_other_worker = faults->arrived->load() == worker_count;
    }
    return faults->calls <= continues_per_worker ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST(GuardThreadsTest, GuardsOnTwoThreadsKeepTheirFaultsAndAlternateStacksApart)
{
    TruncatedView views[worker_count];
    for (const auto& view : views) {
        ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";
    }
    std::atomic<int> arrived{0};
    WorkerFaults faults[worker_count];
    ReadPass passes[worker_count];
    BOOL results[worker_count] = {-1, -1};
    void* before[worker_count] = {};
    void* at_exit[worker_count] = {};
    std::thread workers[worker_count];
    for (int i = 0; i < worker_count; ++i) {
        faults[i].arrived = &arrived;
        faults[i].own_address = reinterpret_cast<ULONG_PTR>(views[i].lost_byte());
        passes[i].address = views[i].lost_byte();
        workers[i] = std::thread([&, i] {
            thread_local ExitProbe probe{&at_exit[i]};
            before[i] = current_alternate_stack();
            results[i] = run_guarded(read_one_byte, &passes[i], meet_then_count, &faults[i]);
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    bool unmapped[worker_count] = {};
    for (int i = 0; i < worker_count; ++i) {
        unmapped[i] = faults[i].stack != nullptr &&
                      msync(faults[i].stack, static_cast<size_t>(sysconf(_SC_PAGESIZE)), MS_ASYNC) == -1 &&
                      errno == ENOMEM;
    }
    EXPECT_NE(faults[0].stack, faults[1].stack);
    for (int i = 0; i < worker_count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(results[i], FALSE);
        EXPECT_TRUE(faults[i].met_other_worker);
        EXPECT_EQ(faults[i].calls, continues_per_worker + 1);
        EXPECT_EQ(faults[i].foreign_addresses, 0);
        EXPECT_EQ(passes[i].started, 1);
        EXPECT_FALSE(passes[i].finished);
        EXPECT_TRUE(faults[i].on_stack);
        ASSERT_NE(faults[i].stack, nullptr);
        EXPECT_NE(faults[i].stack, before[i]) << "the thread got a stack of the guard's own";
        EXPECT_EQ(at_exit[i], before[i]) << "the stack the thread had before comes back at exit";
        EXPECT_TRUE(unmapped[i]) << "the guard's stack is unmapped at thread exit";
    }
}

}  // namespace
