// Window timers on the clock seam: each is due a period after it was set or
// last delivered; a late timer is delivered once, not once per missed period.
#include <algorithm>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/ui/ui_state.h"

namespace {

constexpr UINT minimum_period_ms = 10;
UINT_PTR last_thread_timer_id = 0;

}  // namespace

void ui_kill_window_timers(UiState& state, HWND window)
{
    std::erase_if(state.timers, [window](const UiTimer& timer) { return timer.window == window; });
}

ULONGLONG ui_next_timer_due(const UiState& state)
{
    ULONGLONG next = UINT64_MAX;
    for (const UiTimer& timer : state.timers) {
        next = timer.due < next ? timer.due : next;
    }
    return next;
}

bool ui_take_due_timer(UiState& state, ULONGLONG now, HWND filter, MSG* message)
{
    UiTimer* earliest = nullptr;
    for (UiTimer& timer : state.timers) {
        const bool wanted = filter == nullptr || timer.window == filter;
        if (wanted && timer.due <= now && (earliest == nullptr || timer.due < earliest->due)) {
            earliest = &timer;
        }
    }
    if (earliest == nullptr) {
        return false;
    }
    earliest->due = now + earliest->period;
    *message = MSG{earliest->window, WM_TIMER, earliest->id,
                   reinterpret_cast<LPARAM>(earliest->proc), static_cast<DWORD>(now), POINT{}};
    return true;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc)
{
    UiLock lock;
    if (hWnd != nullptr && ui_find_window(lock.state, hWnd) == nullptr) {
        fail_with(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    UINT_PTR id = nIDEvent;
    const bool replaces = std::any_of(lock.state.timers.begin(), lock.state.timers.end(),
                                      [&](const UiTimer& timer) { return timer.window == hWnd && timer.id == id; });
    if (hWnd == nullptr && !replaces) {
        id = ++last_thread_timer_id;
    }
    std::erase_if(lock.state.timers, [&](const UiTimer& timer) { return timer.window == hWnd && timer.id == id; });
    const UINT period = uElapse < minimum_period_ms ? minimum_period_ms : uElapse;
    lock.state.timers.push_back(UiTimer{hWnd, id, period, lpTimerFunc, clock_now_ms() + period});
    lock.state.queue_changed.notify_all();
    return id != 0 ? id : 1;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent)
{
    UiLock lock;
    const size_t removed = std::erase_if(lock.state.timers, [&](const UiTimer& timer) {
        return timer.window == hWnd && timer.id == uIDEvent;
    });
    return removed != 0 ? TRUE : fail_with(ERROR_INVALID_PARAMETER);
}
