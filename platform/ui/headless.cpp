// The headless backend: nothing is drawn; the main window's text goes to
// standard output when it has changed and a minute has passed since the last
// snapshot, and once more when the message loop ends.
#include <cstdio>
#include <mutex>

#include "platform/clock.h"
#include "platform/ui/output_stream.h"
#include "platform/ui/ui_state.h"
#include "platform/ui_test_seams.h"

namespace {

constexpr ULONGLONG snapshot_interval_ms = 60000;
// How soon to look again when nothing has changed yet.
constexpr ULONGLONG recheck_ms = 1000;

struct SnapshotState {
    std::mutex lock;
    ULONGLONG last_ms = 0;
    std::string last_text;
};

SnapshotState& snapshots()
{
    static auto* state = new SnapshotState();
    return *state;
}

// The title and the client text of the main window; empty without one.
std::string main_window_snapshot()
{
    HWND main_window = ui_main_window();
    if (main_window == nullptr) {
        return std::string();
    }
    std::string title;
    {
        UiLock lock;
        const UiWindow* window = ui_find_window(lock.state, main_window);
        if (window == nullptr) {
            return std::string();
        }
        title = window->title;
    }
    return title + "\n" + ui_text_of(main_window);
}

void print_snapshot(const std::string& text)
{
    write_to_stream(stdout, text + "\n");
}

void headless_start()
{
    SnapshotState& state = snapshots();
    std::lock_guard<std::mutex> guard(state.lock);
    state.last_ms = clock_now_ms();
    state.last_text.clear();
}

ULONGLONG headless_idle(ULONGLONG now_ms)
{
    SnapshotState& state = snapshots();
    std::lock_guard<std::mutex> guard(state.lock);
    if (now_ms - state.last_ms < snapshot_interval_ms) {
        return state.last_ms + snapshot_interval_ms;
    }
    const std::string text = main_window_snapshot();
    if (text.empty() || text == state.last_text) {
        return now_ms + recheck_ms;
    }
    print_snapshot(text);
    state.last_text = text;
    state.last_ms = now_ms;
    return now_ms + snapshot_interval_ms;
}

void headless_loop_ended(int exit_code)
{
    (void)exit_code;
    SnapshotState& state = snapshots();
    std::lock_guard<std::mutex> guard(state.lock);
    const std::string text = main_window_snapshot();
    if (!text.empty()) {
        print_snapshot(text);
        state.last_text = text;
    }
}

const UiBackend headless = {
    "headless", headless_start, nullptr, false, nullptr, headless_idle, headless_loop_ended,
};

}  // namespace

const UiBackend* headless_backend()
{
    return &headless;
}
