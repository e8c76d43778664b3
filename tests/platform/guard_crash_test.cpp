// Faults the guard does not take end the process as they would without it.
// Each case runs in a fresh child process (the "threadsafe" death-test style
// re-executes the test program), so the guard's handlers are installed there
// by the case itself, after whatever the case installs first.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <stdexcept>

#include "platform/guard.h"
#include "tests/platform/guard_truncated_view.h"

namespace {

// Without sanitizers the fault's own signal ends the child. The sanitizers
// handle SIGBUS and SIGSEGV themselves: they report the fault and exit with
// their own code.
#if defined(__SANITIZE_ADDRESS__)
constexpr int sanitizer_exit_code = 1;
#elif defined(__SANITIZE_THREAD__)
constexpr int sanitizer_exit_code = 66;
#else
constexpr int sanitizer_exit_code = -1;
#endif

struct DiedOfFault {
    int signal_number;

    bool operator()(int status) const
    {
        if (WIFSIGNALED(status)) {
            return WTERMSIG(status) == signal_number;
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == sanitizer_exit_code;
    }
};

class GuardCrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";
    }

    char read_lost_page() const { return *view.lost_byte(); }

    TruncatedView view;
};

TEST_F(GuardCrashTest, FaultOutsideEveryGuardEndsTheProcess)
{
    EXPECT_EXIT(
        {
            run_guarded(do_nothing, nullptr, exit_if_consulted, nullptr);
            read_lost_page();
        },
        DiedOfFault{SIGBUS}, "");
}

TEST_F(GuardCrashTest, ContinueSearchFromTheOnlyGuardEndsTheProcess)
{
    EXPECT_EXIT(
        {
            ReadPass pass;
            pass.address = view.lost_byte();
            FaultLog log;
            log.final_verdict = EXCEPTION_CONTINUE_SEARCH;
            run_guarded(read_one_byte, &pass, logging_filter, &log);
            _exit(4);
        },
        DiedOfFault{SIGBUS}, "");
}

void throw_from_pass(void*)
{
    throw std::runtime_error("pass failed");
}

TEST_F(GuardCrashTest, PassThatThrowsLeavesNoGuardBehind)
{
    EXPECT_EXIT(
        {
            try {
                run_guarded(throw_from_pass, nullptr, exit_if_consulted, nullptr);
            } catch (const std::runtime_error&) {
                read_lost_page();
            }
            _exit(4);
        },
        DiedOfFault{SIGBUS}, "");
}

void raise_bus(void*)
{
    raise(SIGBUS);
}

TEST_F(GuardCrashTest, SignalSentByRaiseIsNoException)
{
    EXPECT_EXIT(
        {
            run_guarded(raise_bus, nullptr, exit_if_consulted, nullptr);
            _exit(4);
        },
        DiedOfFault{SIGBUS}, "");
}

void exit_42(int, siginfo_t*, void*)
{
    _exit(42);
}

TEST_F(GuardCrashTest, FaultOutsideEveryGuardGoesToTheHandlerInstalledBefore)
{
    EXPECT_EXIT(
        {
            struct sigaction before = {};
            before.sa_sigaction = exit_42;
            before.sa_flags = SA_SIGINFO;
            sigemptyset(&before.sa_mask);
            sigaction(SIGBUS, &before, nullptr);
            run_guarded(do_nothing, nullptr, exit_if_consulted, nullptr);
            read_lost_page();
            _exit(4);
        },
        ::testing::ExitedWithCode(42), "");
}

LONG throw_from_filter(void*, DWORD, EXCEPTION_POINTERS*)
{
    throw std::runtime_error("filter failed");
}

TEST_F(GuardCrashTest, FilterThatThrowsEndsTheProcess)
{
    EXPECT_EXIT(
        {
            ReadPass pass;
            pass.address = view.lost_byte();
            run_guarded(read_one_byte, &pass, throw_from_filter, nullptr);
            _exit(4);
        },
        ::testing::KilledBySignal(SIGABRT), "");
}

}  // namespace
