// The window thread's queue. GetMessageA delivers, in this order: messages
// sent from other threads (handled inside), posted messages, WM_QUIT, WM_PAINT
// for a window with an invalid region, then a due WM_TIMER.
#include <chrono>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/ui/ui_state.h"

namespace {

// Waits are cut into slices so that a change of the clock's scale is seen.
constexpr ULONGLONG longest_wait_real_ms = 100;

bool addressed_to(const UiState& state, HWND target, HWND filter)
{
    if (filter == nullptr || target == filter) {
        return true;
    }
    const auto found = state.windows.find(key_of(target));
    return found != state.windows.end() && found->second.parent == filter;
}

bool in_range(UINT message, UINT first, UINT last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

bool take_posted(UiState& state, HWND filter, UINT first, UINT last, MSG* message)
{
    for (auto it = state.posted.begin(); it != state.posted.end(); ++it) {
        if (addressed_to(state, it->hwnd, filter) && in_range(it->message, first, last)) {
            *message = *it;
            state.posted.erase(it);
            return true;
        }
    }
    return false;
}

bool take_paint(UiState& state, HWND filter, MSG* message, ULONGLONG now)
{
    for (const auto& [key, window] : state.windows) {
        HWND handle = handle_of<HWND>(key);
        if (window.update_pending && addressed_to(state, handle, filter)) {
            *message = MSG{handle, WM_PAINT, 0, 0, static_cast<DWORD>(now), POINT{}};
            return true;
        }
    }
    return false;
}

void run_sent_message(UiLock& lock)
{
    SentMessage* sent = lock.state.sent.front();
    lock.state.sent.pop_front();
    lock.unlock();
    const LRESULT result =
        ui_call_window_proc(sent->msg.hwnd, sent->msg.message, sent->msg.wParam, sent->msg.lParam);
    lock.relock();
    sent->result = result;
    sent->done = true;
    lock.state.queue_changed.notify_all();
}

void wait_for_work(UiLock& lock, ULONGLONG deadline, ULONGLONG now)
{
    const double scale = clock_scale() > 0 ? clock_scale() : 1.0;
    ULONGLONG real_ms = longest_wait_real_ms;
    if (deadline <= now) {
        real_ms = 0;
    } else if (deadline != UINT64_MAX) {
        real_ms = static_cast<ULONGLONG>(static_cast<double>(deadline - now) / scale) + 1;
    }
    real_ms = real_ms < longest_wait_real_ms ? real_ms : longest_wait_real_ms;
    lock.state.queue_changed.wait_for(lock.guard, std::chrono::milliseconds(real_ms));
}

// The backend's idle work, run without the lock.
ULONGLONG backend_idle(UiLock& lock, ULONGLONG now)
{
    const UiBackend* backend = lock.state.backend.load(std::memory_order_acquire);
    if (backend == nullptr || backend->idle == nullptr) {
        return UINT64_MAX;
    }
    lock.unlock();
    const ULONGLONG wanted = backend->idle(now);
    lock.relock();
    return wanted;
}

void end_loop(int exit_code)
{
    const UiBackend* backend = ui_state().backend.load(std::memory_order_acquire);
    if (backend != nullptr && backend->loop_ended != nullptr) {
        backend->loop_ended(exit_code);
    }
}

}  // namespace

LRESULT ui_call_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    WNDPROC proc = nullptr;
    DLGPROC dialog_proc = nullptr;
    bool dialog = false;
    {
        UiLock lock;
        const UiWindow* found = ui_find_window(lock.state, window);
        if (found == nullptr) {
            fail_with(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        proc = found->proc;
        dialog_proc = found->dialog_proc;
        dialog = found->dialog;
    }
    if (dialog) {
        return ui_dialog_window_proc(window, dialog_proc, message, wparam, lparam);
    }
    return proc != nullptr ? proc(window, message, wparam, lparam)
                           : DefWindowProcA(window, message, wparam, lparam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    UiLock lock;
    if (hWnd != nullptr && ui_find_window(lock.state, hWnd) == nullptr) {
        return fail_with(ERROR_INVALID_WINDOW_HANDLE);
    }
    lock.state.posted.push_back(
        MSG{hWnd, Msg, wParam, lParam, static_cast<DWORD>(clock_now_ms()), POINT{}});
    lock.state.queue_changed.notify_all();
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    {
        UiLock lock;
        if (ui_find_window(lock.state, hWnd) == nullptr) {
            fail_with(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        if (!ui_on_window_thread(lock.state)) {
            // Another thread's message waits until the window thread runs it.
            SentMessage sent;
            sent.msg = MSG{hWnd, Msg, wParam, lParam, static_cast<DWORD>(clock_now_ms()), POINT{}};
            lock.state.sent.push_back(&sent);
            lock.state.queue_changed.notify_all();
            lock.state.queue_changed.wait(lock.guard, [&sent] { return sent.done; });
            return sent.result;
        }
    }
    return ui_call_window_proc(hWnd, Msg, wParam, lParam);
}

void WINAPI PostQuitMessage(int nExitCode)
{
    UiLock lock;
    lock.state.quit_pending = true;
    lock.state.quit_code = nExitCode;
    lock.state.queue_changed.notify_all();
}

BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax)
{
    if (lpMsg == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    UiLock lock;
    for (;;) {
        if (!lock.state.sent.empty()) {
            run_sent_message(lock);
            continue;
        }
        const ULONGLONG now = clock_now_ms();
        if (take_posted(lock.state, hWnd, wMsgFilterMin, wMsgFilterMax, lpMsg)) {
            return TRUE;
        }
        if (lock.state.quit_pending) {
            lock.state.quit_pending = false;
            const int exit_code = lock.state.quit_code;
            *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(exit_code), 0,
                         static_cast<DWORD>(now), POINT{}};
            lock.unlock();
            end_loop(exit_code);
            return FALSE;
        }
        if (in_range(WM_PAINT, wMsgFilterMin, wMsgFilterMax) && take_paint(lock.state, hWnd, lpMsg, now)) {
            return TRUE;
        }
        if (in_range(WM_TIMER, wMsgFilterMin, wMsgFilterMax) &&
            ui_take_due_timer(lock.state, now, hWnd, lpMsg)) {
            return TRUE;
        }
        const ULONGLONG idle_due = backend_idle(lock, now);
        const ULONGLONG timer_due = ui_next_timer_due(lock.state);
        if (!lock.state.sent.empty() || !lock.state.posted.empty()) {
            continue;
        }
        wait_for_work(lock, idle_due < timer_due ? idle_due : timer_due, clock_now_ms());
    }
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    // Backends post characters themselves; there is nothing to translate.
    (void)lpMsg;
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    if (lpMsg == nullptr) {
        return 0;
    }
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        auto* proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
        return 0;
    }
    if (lpMsg->hwnd == nullptr) {
        return 0;
    }
    return ui_call_window_proc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
