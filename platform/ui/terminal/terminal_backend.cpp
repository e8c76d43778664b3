// The terminal backend. A thread of its own owns the terminal: it composes the
// screen from copies of the model, reads keys and mouse reports, and acts only
// by posting to the window thread or answering message boxes, so a box shows
// and can be answered while the window thread is busy.
#include "platform/ui/terminal/terminal_backend.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/ui/backend.h"
#include "platform/ui/terminal/terminal_compose.h"
#include "platform/ui/terminal/terminal_curses.h"
#include "platform/ui/terminal/terminal_input.h"

namespace {

// How long a lone ESC may wait for the character that would make it Alt.
constexpr int alt_wait_ms = 50;
// How long the process's exit waits for the terminal to be handed back.
constexpr auto close_wait = std::chrono::seconds(2);
// Without a wake-up pipe the model is looked at this often instead.
constexpr int no_pipe_poll_ms = 100;

// Leaves the alternate screen, stops mouse reports and shows the cursor.
constexpr char restore_sequence[] = "\033[?1006l\033[?1000l\033[?25h\033[?1049l";

// The terminal's modes before the backend took it, for terminal_restore_now,
// which a signal handler may call: plain data, set before the flag.
termios saved_modes{};
std::atomic<bool> saved_modes_valid{false};

struct TerminalRuntime {
    int wake_read = -1;
    std::atomic<int> wake_write{-1};
    std::atomic<bool> resize_requested{false};
    std::atomic<bool> bell_requested{false};
    std::atomic<bool> close_requested{false};
    std::atomic<bool> started{false};
    std::mutex close_mutex;
    std::condition_variable closed_changed;
    bool closed = false;
};

// Lives until the process ends: the thread and signal handler may outlast main.
TerminalRuntime& runtime()
{
    static auto* state = new TerminalRuntime();
    return *state;
}

void wake_thread()
{
    const int fd = runtime().wake_write.load();
    if (fd >= 0) {
        const int saved_errno = errno;
        const char byte = 1;
        // A full pipe already holds a wake-up; the byte may be dropped.
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
        errno = saved_errno;
    }
}

void on_window_change(int)
{
    runtime().resize_requested.store(true);
    wake_thread();
}

void drain_wake_pipe()
{
    char buffer[64];
    while (read(runtime().wake_read, buffer, sizeof buffer) > 0) {
    }
}

// Without the pipe (no descriptors left) the thread polls instead.
void make_wake_pipe()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        runtime().wake_read = ends[0];
        runtime().wake_write.store(ends[1]);
    }
}

void install_resize_handler()
{
    struct sigaction action {};
    action.sa_handler = on_window_change;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
}

void mark_closed()
{
    std::lock_guard<std::mutex> guard(runtime().close_mutex);
    runtime().closed = true;
    runtime().closed_changed.notify_all();
}

// The terminal is raw, so Ctrl-C reaches the program as a key; it still means
// what the signal means. A program that does not handle SIGINT dies of it, so
// the terminal is handed back first.
void interrupt_program()
{
    struct sigaction current {};
    if (sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        terminal_restore_now();
    }
    kill(getpid(), SIGINT);
}

void carry_out(const TerminalAction& action)
{
    switch (action.kind) {
    case ActionKind::ChooseMenuItem:
        ui_choose_menu_item(action.window, action.id);
        break;
    case ActionKind::PressButton:
        ui_press_button(action.control);
        break;
    case ActionKind::PostMessage:
        PostMessageA(action.window, action.message, action.wparam, 0);
        break;
    case ActionKind::AnswerBox:
        ui_answer_message_box(action.serial, action.answer);
        break;
    case ActionKind::Interrupt:
        interrupt_program();
        break;
    }
}

enum class InputState { Ready, Quiet, HungUp };

// Waits for input, a wake-up or the timeout. A terminal that has hung up is
// reported so that it is not polled again (it would be ready for ever).
InputState wait_for_input(bool watch_terminal, int timeout_ms)
{
    if (runtime().wake_read < 0 && (timeout_ms < 0 || timeout_ms > no_pipe_poll_ms)) {
        timeout_ms = no_pipe_poll_ms;
    }
    pollfd fds[2] = {{runtime().wake_read, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const int ready = poll(fds, watch_terminal ? 2 : 1, timeout_ms);
    drain_wake_pipe();
    if (watch_terminal && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        return InputState::HungUp;
    }
    return ready == 0 ? InputState::Quiet : InputState::Ready;
}

class TerminalSession {
public:
    explicit TerminalSession(CursesScreen& screen) : screen_(screen) {}

    void run()
    {
        while (!runtime().close_requested.load()) {
            // Every wake-up redraws: curses sends only what differs, and a
            // change count could miss a box that is waiting.
            follow_signals();
            refresh_view();
            draw();
            const int timeout = decoder_.escape_pending() ? alt_wait_ms : -1;
            if (wait_for_input(terminal_open_, timeout) == InputState::HungUp) {
                terminal_open_ = false;
            }
            read_keys();
            finish_lone_escape();
        }
    }

private:
    void follow_signals()
    {
        if (runtime().resize_requested.exchange(false)) {
            screen_.follow_resize();
        }
        if (runtime().bell_requested.exchange(false)) {
            screen_.bell();
        }
    }

    void refresh_view()
    {
        view_ = ui_view();
        follow_view(state_, view_);
    }

    void draw()
    {
        shown_ = compose_screen(view_, state_, screen_.width(), screen_.height());
        screen_.draw(shown_.frame);
    }

    void read_keys()
    {
        RawKey raw{};
        while (terminal_open_ && screen_.read_key(raw)) {
            if (!decoder_.escape_pending()) {
                escape_since_ = std::chrono::steady_clock::now();
            }
            handle_keys(decoder_.feed(raw));
        }
    }

    // An ESC that no character followed in time is the Escape key.
    void finish_lone_escape()
    {
        const auto waited = std::chrono::steady_clock::now() - escape_since_;
        if (decoder_.escape_pending() && waited >= std::chrono::milliseconds(alt_wait_ms)) {
            handle_keys(decoder_.feed(raw_timeout()));
        }
    }

    void handle_keys(const std::vector<TerminalKey>& keys)
    {
        for (const TerminalKey& key : keys) {
            // Each key sees the model as the previous one left it, so two
            // quick answers do not both go to the same box.
            refresh_view();
            for (const TerminalAction& action : actions_for(key)) {
                carry_out(action);
            }
        }
    }

    std::vector<TerminalAction> actions_for(const TerminalKey& key)
    {
        if (key.kind == KeyKind::Resize) {
            return {};
        }
        if (key.kind != KeyKind::Mouse) {
            return handle_key(state_, view_, key);
        }
        MouseClick click{};
        if (!screen_.read_click(click)) {
            return {};
        }
        return handle_click(state_, view_, shown_.hits, click.column, click.row);
    }

    CursesScreen& screen_;
    TerminalState state_;
    KeyDecoder decoder_;
    UiView view_;
    Composition shown_{Frame(0, 0), {}};
    bool terminal_open_ = true;
    std::chrono::steady_clock::time_point escape_since_;
};

// Without a usable terminal, boxes go to standard error and are answered OK,
// as when headless, so that no caller waits for ever.
void answer_boxes_without_terminal()
{
    for (;;) {
        for (const MessageBoxView& box : ui_view().boxes) {
            std::fprintf(stderr, "%s: %s\n", box.caption.c_str(), box.text.c_str());
            ui_answer_message_box(box.serial, IDOK);
        }
        wait_for_input(false, -1);
    }
}

void save_terminal()
{
    if (tcgetattr(STDIN_FILENO, &saved_modes) == 0) {
        saved_modes_valid.store(true);
    }
}

void run_terminal_thread()
{
    CursesScreen screen;
    save_terminal();
    if (screen.open()) {
        TerminalSession(screen).run();
        screen.close();
    }
    mark_closed();
    answer_boxes_without_terminal();
}

// One terminal thread serves the process; a later start (after the window
// system was reset) finds it still there.
void terminal_start()
{
    if (runtime().started.exchange(true)) {
        return;
    }
    make_wake_pipe();
    install_resize_handler();
    std::atexit([] {
        runtime().close_requested.store(true);
        wake_thread();
        std::unique_lock<std::mutex> guard(runtime().close_mutex);
        if (!runtime().closed_changed.wait_for(guard, close_wait, [] { return runtime().closed; })) {
            terminal_restore_now();
        }
    });
    std::thread(run_terminal_thread).detach();
}

void terminal_model_changed()
{
    wake_thread();
}

void terminal_beep(DWORD, DWORD)
{
    runtime().bell_requested.store(true);
    wake_thread();
}

// The program's own loop is over: the terminal goes back to the shell now,
// and boxes shown after this are written to standard error.
void terminal_loop_ended(int)
{
    runtime().close_requested.store(true);
    wake_thread();
    std::unique_lock<std::mutex> guard(runtime().close_mutex);
    runtime().closed_changed.wait_for(guard, close_wait, [] { return runtime().closed; });
}

const UiBackend backend = {
    "terminal", terminal_start, terminal_model_changed, true, terminal_beep, nullptr,
    terminal_loop_ended,
};

}  // namespace

void terminal_restore_now()
{
    if (!saved_modes_valid.load()) {
        return;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_modes);
    [[maybe_unused]] const ssize_t written =
        write(STDOUT_FILENO, restore_sequence, sizeof restore_sequence - 1);
}

const UiBackend* terminal_backend()
{
    return &backend;
}
