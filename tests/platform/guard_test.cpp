// The guard: what the filter is shown, what each verdict does, guards on several threads and
// faults no guard takes. Every fault here is real: an access to a page cut off under a mapped view.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "tests/platform/files_test_support.h"
#include "platform/guard.h"

namespace {

// A two-page file mapped read-only whose second page is cut off under the view:
// reading that page raises SIGBUS with BUS_ADRERR, as a page the disk cannot deliver.
class TruncatedView {
public:
    TruncatedView() : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE)))
    {
        char path[] = "/tmp/guard-view-XXXXXX";
        fd_ = mkstemp(path);
        unlink(path);  // nameless from the start: a crash test's child leaves nothing behind
        const std::string content(2 * page_, 'a');
        if (fd_ >= 0 && write(fd_, content.data(), content.size()) == static_cast<ssize_t>(content.size())) {
            void* view = mmap(nullptr, 2 * page_, PROT_READ, MAP_SHARED, fd_, 0);
            view_ = view == MAP_FAILED ? nullptr : static_cast<char*>(view);
        }
        ready_ = view_ != nullptr && ftruncate(fd_, static_cast<off_t>(page_)) == 0;
    }
    ~TruncatedView()
    {
        if (view_ != nullptr) {
            munmap(view_, 2 * page_);
        }
        close(fd_);
    }
    TruncatedView(const TruncatedView&) = delete;
    bool ready() const { return ready_; }
    const volatile char* intact_byte() const { return view_ + 17; }
    const volatile char* lost_byte() const { return view_ + page_ + 100; }
    // Gives the file its second page back, as zeros.
    bool regrow() { return ftruncate(fd_, static_cast<off_t>(2 * page_)) == 0; }

private:
    size_t page_;
    int fd_ = -1;
    char* view_ = nullptr;
    bool ready_ = false;
};

// A pass that reads one byte and notes how far it got.
struct ReadPass {
    const volatile char* address = nullptr;
    int started = 0;
    bool finished = false;
    char value = 0;
};

void read_one_byte(void* context)
{
    auto* pass = static_cast<ReadPass*>(context);
    ++pass->started;
    pass->value = *pass->address;
    pass->finished = true;
}

// A pass that changes its signal mask first: an abandoned pass must get its mask back.
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

// A filter that gives `final_verdict` and keeps what it was shown.
struct FaultLog {
    int calls = 0;
    LONG final_verdict = EXCEPTION_EXECUTE_HANDLER;
    DWORD code = 0;
    EXCEPTION_RECORD record = {};
    bool context_record_null = false;
};

LONG logging_filter(void* context, DWORD code, EXCEPTION_POINTERS* info)
{
    auto* log = static_cast<FaultLog*>(context);
    ++log->calls;
    log->code = code;
    log->record = *info->ExceptionRecord;
    log->context_record_null = info->ContextRecord == nullptr;
    return log->final_verdict;
}

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file"; }
    TruncatedView view;
};

// The filter is asked once, about an in-page error: a read at the lost
// address whose cause is a device data error.
TEST_F(GuardTest, FaultsReachTheFilterAsInPageErrorsAndContinueCompletesThePassOnceTheCauseIsGone)
{
    ReadPass intact{view.intact_byte()}, lost{view.lost_byte()};
    FaultLog log;
    EXPECT_EQ(run_guarded(read_one_byte, &intact, logging_filter, &log), TRUE);
    EXPECT_EQ(intact.value, 'a');
    EXPECT_EQ(log.calls, 0);
    EXPECT_EQ(run_guarded(read_one_byte, &lost, logging_filter, &log), FALSE);
    EXPECT_FALSE(lost.finished);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.code, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionCode, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionFlags, 0u) << "an in-page error is continuable";
    const ULONG_PTR* information = log.record.ExceptionInformation;
    EXPECT_EQ(std::vector<ULONG_PTR>(information, information + log.record.NumberParameters),
              (std::vector<ULONG_PTR>{0, reinterpret_cast<ULONG_PTR>(lost.address), 0xC000009Cu}));
    EXPECT_NE(log.record.ExceptionAddress, static_cast<const volatile void*>(lost.address))
        << "the address of the record is the instruction, not the data";
    EXPECT_TRUE(log.context_record_null);
    // Continuing once the cause is gone completes the pass.
    const GuardFilter regrow_and_continue = [](void* context, DWORD, EXCEPTION_POINTERS*) -> LONG {
        return static_cast<TruncatedView*>(context)->regrow() ? EXCEPTION_CONTINUE_EXECUTION
                                                              : EXCEPTION_EXECUTE_HANDLER;
    };
    EXPECT_EQ(run_guarded(read_one_byte, &lost, regrow_and_continue, &view), TRUE);
    EXPECT_EQ(lost.value, '\0') << "the regrown page reads as zeros";
}

// Across threads: each worker's faults reach its own guard only, each continue
// repeats the access, not the pass (the task log the program's filter writes
// meanwhile is proven by the engine's filter tests), leaving the pass restores
// its signal mask, and each thread gets its own alternate stack, given back at
// thread exit.
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
    MaskingPass pass;
    BOOL result = -1;
    int calls = 0, foreign_addresses = 0;
    bool met_other_worker = false, on_stack = false, mask_left_blocked = true;
    void *stack = nullptr, *before = nullptr, *at_exit = nullptr;
};

// Built before the guard's own stack on the thread, so destroyed after it.
struct ExitProbe {
    Worker* worker;
    ~ExitProbe() { worker->at_exit = current_alternate_stack(); }
};

// Holds the first fault until every worker has one: both guards dispatch at once.
LONG meet_then_count(void* context, DWORD, EXCEPTION_POINTERS* info)
{
    auto* worker = static_cast<Worker*>(context);
    worker->foreign_addresses +=
        info->ExceptionRecord->ExceptionInformation[1] != reinterpret_cast<ULONG_PTR>(worker->pass.read.address);
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
        workers[i].pass.read.address = views[i].lost_byte();
        threads[i] = std::thread([&worker = workers[i]] {
            thread_local ExitProbe probe{&worker};
            worker.before = current_alternate_stack();
            worker.result = run_guarded(block_usr2_then_read, &worker.pass, meet_then_count, &worker);
            sigset_t now;
            worker.mask_left_blocked = pthread_sigmask(SIG_BLOCK, nullptr, &now) != 0 ||
                                       sigismember(&now, SIGUSR2) || sigismember(&now, SIGBUS);
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
        EXPECT_TRUE(worker.pass.read.started == 1 && !worker.pass.read.finished);
        EXPECT_EQ(worker.foreign_addresses, 0);
        EXPECT_TRUE(worker.pass.blocked && !worker.mask_left_blocked) << "each thread's mask is restored";
        EXPECT_TRUE(worker.on_stack);
        EXPECT_NE(worker.stack, worker.before) << "the thread got a stack of the guard's own";
        EXPECT_EQ(worker.at_exit, worker.before) << "the stack the thread had before comes back at exit";
        EXPECT_EQ(msync(worker.stack, static_cast<size_t>(sysconf(_SC_PAGESIZE)), MS_ASYNC), -1);
        EXPECT_EQ(errno, ENOMEM) << "the guard's stack is unmapped at thread exit";
    }
}

// Faults no guard takes end the process as they would without it. Each case
// runs in a fresh child process (the "threadsafe" death-test style re-executes
// the test program), so the guard's handlers are installed there by the case
// itself, after whatever the case installs first.
// Without sanitizers the fault's own signal ends the child. The sanitizers
// handle SIGBUS themselves: they report the fault and exit with their own code.
#if defined(__SANITIZE_ADDRESS__)
constexpr int sanitizer_exit_code = 1;
#elif defined(__SANITIZE_THREAD__)
constexpr int sanitizer_exit_code = 66;
#else
constexpr int sanitizer_exit_code = -1;
#endif

bool died_of_sigbus(int status)
{
    return WIFSIGNALED(status) ? WTERMSIG(status) == SIGBUS
                               : WIFEXITED(status) && WEXITSTATUS(status) == sanitizer_exit_code;
}

// For guards whose filter must never be consulted.
LONG exit_if_consulted(void*, DWORD, EXCEPTION_POINTERS*) { _exit(3); }

void fault_after_a_guard_ended(const TruncatedView& view)
{
    run_guarded([](void*) {}, nullptr, exit_if_consulted, nullptr);
    (void)*view.lost_byte();
}

TEST(GuardCrashTest, FaultsNoGuardTakesEndTheProcessAsWithoutTheGuard)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TruncatedView view;
    ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";
    using Scenario = void (*)(const TruncatedView&);
    struct Case { const char* name; Scenario scenario; std::function<bool(int)> ending; };
    const Case cases[] = {
        {"fault after a guard ended", fault_after_a_guard_ended, died_of_sigbus},
        {"continue search from the only guard",
         [](const TruncatedView& v) {
             ReadPass pass{v.lost_byte()};
             FaultLog log;
             log.final_verdict = EXCEPTION_CONTINUE_SEARCH;
             run_guarded(read_one_byte, &pass, logging_filter, &log);
         },
         died_of_sigbus},
        {"fault after a pass threw",
         [](const TruncatedView& v) {
             try {
                 run_guarded([](void*) { throw std::runtime_error("pass failed"); }, nullptr, exit_if_consulted,
                             nullptr);
             } catch (const std::runtime_error&) {
                 (void)*v.lost_byte();
             }
         },
         died_of_sigbus},
        {"SIGBUS sent by raise",
         [](const TruncatedView&) { run_guarded([](void*) { raise(SIGBUS); }, nullptr, exit_if_consulted, nullptr); },
         died_of_sigbus},
        {"handler installed before the guard",
         [](const TruncatedView& v) {
             struct sigaction before = {};
             before.sa_sigaction = [](int, siginfo_t*, void*) { _exit(42); };
             before.sa_flags = SA_SIGINFO;
             sigaction(SIGBUS, &before, nullptr);
             fault_after_a_guard_ended(v);
         },
         ::testing::ExitedWithCode(42)},
        {"filter that throws",
         [](const TruncatedView& v) {
             ReadPass pass{v.lost_byte()};
             run_guarded(read_one_byte, &pass,
                         [](void*, DWORD, EXCEPTION_POINTERS*) -> LONG { throw std::runtime_error("filter failed"); },
                         nullptr);
         },
         ::testing::KilledBySignal(SIGABRT)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                c.scenario(view);
                _exit(4);  // reaching the end of a scenario is a fault
            },
            c.ending, "");
    }
}

#ifndef NDEBUG
// A lock that the filter below takes, held by the pass across a view read:
// a bad sector there would make the filter wait for ever on its own thread.
std::timed_mutex filter_taken_lock;

LONG filter_taking_the_lock(void*, DWORD, EXCEPTION_POINTERS*)
{
    // Bounded, so that a missing check fails the case instead of hanging it.
    if (!filter_taken_lock.try_lock_for(std::chrono::seconds(5))) {
        _exit(5);
    }
    filter_taken_lock.unlock();
    return EXCEPTION_EXECUTE_HANDLER;
}

void read_holding_the_filters_lock(void* context)
{
    std::lock_guard<std::timed_mutex> held(filter_taken_lock);
    note_filter_lock_taken();
    read_one_byte(context);
    note_filter_lock_released();
}

// Debug builds end the process, naming what happened, when a thread that
// holds a lock the filter takes reads a view, enters a guarded pass or faults
// under a guard; once the lock is let go, all three are allowed again.
TEST(GuardLockRuleTest, ViewReadsPassesAndFaultsUnderALockTheFilterTakesEndTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TruncatedView view;
    ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";
    const std::string rule = "while this thread holds a lock that the exception filter takes";
    EXPECT_DEATH(
        {
            note_filter_lock_taken();
            check_view_read();
        },
        "a mapped view was read " + rule);
    EXPECT_DEATH(
        {
            note_filter_lock_taken();
            run_guarded([](void*) {}, nullptr, exit_if_consulted, nullptr);
        },
        "a guarded pass was entered " + rule);
    EXPECT_DEATH(
        {
            ReadPass pass{view.lost_byte()};
            run_guarded(read_holding_the_filters_lock, &pass, filter_taking_the_lock, nullptr);
        },
        "a guarded access faulted " + rule);
    EXPECT_EXIT(
        {
            note_filter_lock_taken();
            note_filter_lock_released();
            check_view_read();
            ReadPass pass{view.lost_byte()};
            FaultLog log;
            _exit(run_guarded(read_one_byte, &pass, logging_filter, &log) == FALSE && log.calls == 1 ? 0 : 6);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
