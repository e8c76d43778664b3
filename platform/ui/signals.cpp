// SIGINT, SIGTERM and SIGHUP become a command for the main window. The handler
// only reads the clock and writes a byte to a pipe; a thread of its own turns
// the byte into the posted WM_COMMAND.
//
// One request to stop often arrives as several signals: `timeout` signals the
// program and then its whole process group, and a terminal's Ctrl+C reaches
// every process of the foreground group. So signals within a second of the
// first are that same request; one later than that ends the program at once.
// SIGPIPE is ignored: a reader of the output that goes away ends the output,
// not the run.
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/ui/terminal/terminal_backend.h"
#include "platform/ui_seam.h"
#include "platform/ui_test_seams.h"

namespace {

std::atomic<UINT> signal_command{0};
// The program's status for a second interrupt; read inside the handler,
// where a lock-free atomic is safe.
std::atomic<int> interrupted_status{0};
constexpr long long one_request_ns = 1000000000;
// CLOCK_MONOTONIC time of the first signal, in ns; -1 before it. Real time,
// not the product clock: the window is about how signals arrive.
std::atomic<long long> first_signal_ns{-1};
std::atomic<int> pipe_write_end{-1};
std::once_flag installed;

// Async-signal-safe: gives the terminal back before ending, so the shell is
// not left in raw mode on the alternate screen.
[[noreturn]] void exit_interrupted()
{
    terminal_restore_now();
    // The exit system call itself: sanitizers wrap _exit with work of their
    // own (reports, locks) that must not run inside a signal handler.
    syscall(SYS_exit_group, interrupted_status.load());
    __builtin_unreachable();
}

// clock_gettime is async-signal-safe.
long long monotonic_ns()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void on_signal(int)
{
    const int saved_errno = errno;
    const long long now = monotonic_ns();
    long long first = -1;
    if (!first_signal_ns.compare_exchange_strong(first, now)) {
        if (now - first >= one_request_ns) {
            exit_interrupted();
        }
        errno = saved_errno;
        return;
    }
    const char byte = 1;
    if (write(pipe_write_end.load(), &byte, 1) != 1) {
        exit_interrupted();
    }
    errno = saved_errno;
}

void deliver_signals(int read_end)
{
    for (;;) {
        char byte = 0;
        const ssize_t count = read(read_end, &byte, 1);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        HWND main_window = ui_main_window();
        if (main_window == nullptr ||
            !PostMessageA(main_window, WM_COMMAND, MAKEWPARAM(signal_command.load(), 0), 0)) {
            exit_interrupted();
        }
    }
}

void install_handlers()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    pipe_write_end.store(ends[1]);
    std::thread(deliver_signals, ends[0]).detach();
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(number, &action, nullptr);
    }
    signal(SIGPIPE, SIG_IGN);
}

}  // namespace

void ui_set_signal_command(UINT id, int second_signal_status)
{
    signal_command.store(id);
    interrupted_status.store(second_signal_status);
    std::call_once(installed, install_handlers);
}
