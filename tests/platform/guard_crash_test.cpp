// Faults the guard does not take end the process as they would without it.
// Each case runs in a fresh child process (the "threadsafe" death-test style
// re-executes the test program), so the guard's handlers are installed there
// by the case itself, after whatever the case installs first.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <functional>
#include <stdexcept>

#include "tests/platform/guard_truncated_view.h"

namespace {

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
LONG exit_if_consulted(void*, DWORD, EXCEPTION_POINTERS*)
{
    _exit(3);
}

// Each scenario must end the process; reaching its end is a fault.
void fault_after_a_guard_ended(const TruncatedView& view)
{
    run_guarded([](void*) {}, nullptr, exit_if_consulted, nullptr);
    (void)*view.lost_byte();
}

void continue_search_from_the_only_guard(const TruncatedView& view)
{
    ReadPass pass{view.lost_byte()};
    FaultLog log;
    log.final_verdict = EXCEPTION_CONTINUE_SEARCH;
    run_guarded(read_one_byte, &pass, logging_filter, &log);
}

void fault_after_a_pass_threw(const TruncatedView& view)
{
    try {
        run_guarded([](void*) { throw std::runtime_error("pass failed"); }, nullptr, exit_if_consulted, nullptr);
    } catch (const std::runtime_error&) {
        (void)*view.lost_byte();
    }
}

void bus_signal_sent_by_raise(const TruncatedView&)
{
    run_guarded([](void*) { raise(SIGBUS); }, nullptr, exit_if_consulted, nullptr);
}

void fault_with_a_handler_installed_before(const TruncatedView& view)
{
    struct sigaction before = {};
    before.sa_sigaction = [](int, siginfo_t*, void*) { _exit(42); };
    before.sa_flags = SA_SIGINFO;
    sigaction(SIGBUS, &before, nullptr);
    fault_after_a_guard_ended(view);
}

void filter_that_throws(const TruncatedView& view)
{
    ReadPass pass{view.lost_byte()};
    run_guarded(read_one_byte, &pass,
                [](void*, DWORD, EXCEPTION_POINTERS*) -> LONG { throw std::runtime_error("filter failed"); }, nullptr);
}

TEST(GuardCrashTest, FaultsNoGuardTakesEndTheProcessAsWithoutTheGuard)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TruncatedView view;
    ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file";
    struct Case { const char* name; void (*scenario)(const TruncatedView&); std::function<bool(int)> ending; };
    const Case cases[] = {
        {"fault after a guard ended", fault_after_a_guard_ended, died_of_sigbus},
        {"continue search from the only guard", continue_search_from_the_only_guard, died_of_sigbus},
        {"fault after a pass threw", fault_after_a_pass_threw, died_of_sigbus},
        {"SIGBUS sent by raise", bus_signal_sent_by_raise, died_of_sigbus},
        {"handler installed before the guard", fault_with_a_handler_installed_before, ::testing::ExitedWithCode(42)},
        {"filter that throws", filter_that_throws, ::testing::KilledBySignal(SIGABRT)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(
            {
                c.scenario(view);
                _exit(4);
            },
            c.ending, "");
    }
}

}  // namespace
