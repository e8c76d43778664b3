// The guard: what the filter is shown, what each verdict does, guards inside
// guards and guards on several threads. Every fault here is real: an access
// to a page cut off under a mapped view.
#include <signal.h>
#include <stdio.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/platform/files_test_support.h"
#include "tests/platform/guard_truncated_view.h"

namespace {

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file"; }
    TruncatedView view;
};

void write_one_byte(void* context)
{
    auto* pass = static_cast<ReadPass*>(context);
    ++pass->started;
    *const_cast<volatile char*>(pass->address) = 'w';
    pass->finished = true;
}

// The filter was asked once about an in-page error of the given access
// (0 read, 1 write) at `address`, with `status` as its cause.
void expect_one_in_page_error(const FaultLog& log, ULONG_PTR access, const volatile char* address, ULONG_PTR status)
{
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.code, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionCode, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionFlags, 0u) << "an in-page error is continuable";
    const ULONG_PTR* information = log.record.ExceptionInformation;
    EXPECT_EQ(std::vector<ULONG_PTR>(information, information + log.record.NumberParameters),
              (std::vector<ULONG_PTR>{access, reinterpret_cast<ULONG_PTR>(address), status}));
    EXPECT_NE(log.record.ExceptionAddress, static_cast<const volatile void*>(address))
        << "the address of the record is the instruction, not the data";
    EXPECT_TRUE(log.context_record_null);
}

// A write to the read-only view is an access violation; its kind is read
// from the x86-64 page-fault error code.
TEST_F(GuardTest, FaultsReachTheFilterAsInPageErrorsOfTheirAccessAndCause)
{
    ReadPass intact{view.intact_byte()}, lost{view.lost_byte()};
    FaultLog log;
    EXPECT_EQ(run_guarded(read_one_byte, &intact, logging_filter, &log), TRUE);
    EXPECT_EQ(intact.value, 'a');
    EXPECT_EQ(log.calls, 0);
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

struct LogFile { std::string path; int lines_written = 0; };

// What the program's filter does with a fault: appends a line to a log file,
// allocating and locking as stdio does, and continues once. Sanitizers see
// its frames on the alternate stack again after every jump away from it.
LONG append_to_log(void* context, DWORD code, EXCEPTION_POINTERS*)
{
    auto* log = static_cast<LogFile*>(context);
    if (FILE* file = fopen(log->path.c_str(), "a"); file != nullptr) {
        log->lines_written += fprintf(file, "Exception Code = %x\n", (unsigned)code) > 0 ? 1 : 0;
        fclose(file);
    }
    return log->lines_written % 2 == 1 ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

// Fault after fault on one thread: a continue repeats the access, not the
// pass; leaving a pass restores its signal mask; clean passes still run.
TEST_F(GuardTest, EachContinueRepeatsTheAccessUntilTheHandlerIsChosen)
{
    const std::string directory = make_temp_directory();
    LogFile log{directory + "/task.log"};
    for (int round = 0; round < 50; ++round) {
        MaskingPass faulting{{view.lost_byte()}};
        ReadPass clean{view.intact_byte()};
        ASSERT_EQ(run_guarded(block_usr2_then_read, &faulting, append_to_log, &log), FALSE) << round;
        ASSERT_TRUE(faulting.blocked && faulting.read.started == 1 && !faulting.read.finished) << round;
        ASSERT_EQ(run_guarded(read_one_byte, &clean, append_to_log, &log), TRUE) << round;
    }
    std::string expected;
    for (int line = 0; line < 100; ++line) {
        expected += "Exception Code = c0000006\n";
    }
    EXPECT_EQ(read_native(log.path), expected) << "one repeat after each first fault";
    remove_tree(directory);
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &now), 0);
    EXPECT_EQ(sigismember(&now, SIGUSR2) + sigismember(&now, SIGBUS), 0);
}

TEST_F(GuardTest, ContinueAfterTheFileRegrowsCompletesThePassWithZeros)
{
    const GuardFilter regrow_and_continue = [](void* context, DWORD, EXCEPTION_POINTERS*) -> LONG {
        return static_cast<TruncatedView*>(context)->regrow() ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
    };
    ReadPass pass{view.lost_byte()};
    EXPECT_EQ(run_guarded(read_one_byte, &pass, regrow_and_continue, &view), TRUE);
    EXPECT_EQ(pass.value, '\0');
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
        FaultLog inner_log, outer_log;
        inner_log.final_verdict = c.inner_verdict;
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
constexpr int worker_count = 2, continues_per_worker = 5;

void* current_alternate_stack(bool* on_it = nullptr)
{
    stack_t current;
    const bool enabled = sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE);
    if (on_it != nullptr) {
        *on_it = enabled && (current.ss_flags & SS_ONSTACK);
    }
    return enabled ? current.ss_sp : nullptr;
}

struct Worker {
    std::atomic<int>* arrived = nullptr;
    ReadPass pass;
    BOOL result = -1;
    int calls = 0, foreign_addresses = 0;
    bool met_other_worker = false, on_stack = false;
    void *stack = nullptr, *before = nullptr, *at_exit = nullptr;
};

// Built before the guard's own stack on the thread, so destroyed after it:
// sees what the thread is left with.
struct ExitProbe {
    Worker* worker;
    ~ExitProbe() { worker->at_exit = current_alternate_stack(); }
};

// Holds the first fault until every worker has one, so that the guards of
// both threads are dispatching at the same time.
LONG meet_then_count(void* context, DWORD, EXCEPTION_POINTERS* info)
{
    auto* worker = static_cast<Worker*>(context);
    worker->foreign_addresses +=
        info->ExceptionRecord->ExceptionInformation[1] != reinterpret_cast<ULONG_PTR>(worker->pass.address);
    if (++worker->calls == 1) {
        worker->stack = current_alternate_stack(&worker->on_stack);
        worker->arrived->fetch_add(1);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (worker->arrived->load() < worker_count && std::chrono::steady_clock::now() < give_up) {
            std::this_thread::yield();
        }
        worker->met_other_worker = worker->arrived->load() == worker_count;
    }
    return worker->calls <= continues_per_worker ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST(GuardThreadsTest, GuardsOnTwoThreadsKeepTheirFaultsAndAlternateStacksApart)
{
    TruncatedView views[worker_count];
    std::atomic<int> arrived{0};
    Worker workers[worker_count];
    std::thread threads[worker_count];
    for (int i = 0; i < worker_count; ++i) {
        ASSERT_TRUE(views[i].ready()) << "cannot make a truncated mapped file";
        workers[i].arrived = &arrived;
        workers[i].pass.address = views[i].lost_byte();
        threads[i] = std::thread([&worker = workers[i]] {
            thread_local ExitProbe probe{&worker};
            worker.before = current_alternate_stack();
            worker.result = run_guarded(read_one_byte, &worker.pass, meet_then_count, &worker);
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_NE(workers[0].stack, workers[1].stack);
    for (const Worker& worker : workers) {
        EXPECT_EQ(worker.result, FALSE);
        EXPECT_TRUE(worker.met_other_worker);
        EXPECT_EQ(worker.calls, continues_per_worker + 1);
        EXPECT_EQ(worker.foreign_addresses, 0);
        EXPECT_EQ(worker.pass.started, 1);
        EXPECT_TRUE(worker.on_stack);
        ASSERT_NE(worker.stack, nullptr);
        EXPECT_NE(worker.stack, worker.before) << "the thread got a stack of the guard's own";
        EXPECT_EQ(worker.at_exit, worker.before) << "the stack the thread had before comes back at exit";
        EXPECT_EQ(msync(worker.stack, static_cast<size_t>(sysconf(_SC_PAGESIZE)), MS_ASYNC), -1);
        EXPECT_EQ(errno, ENOMEM) << "the guard's stack is unmapped at thread exit";
    }
}

}  // namespace
