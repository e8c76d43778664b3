// Invalid regions and painting: InvalidateRect marks, the queue turns a
// marked window into WM_PAINT, BeginPaint erases and validates.
#include "platform/errors.h"
#include "platform/ui/ui_state.h"

namespace {

RECT client_rect(const UiWindow& window)
{
    return RECT{0, 0, window.client_width, window.client_height};
}

RECT clipped(const RECT& rect, const RECT& bounds)
{
    return RECT{rect.left > bounds.left ? rect.left : bounds.left,
                rect.top > bounds.top ? rect.top : bounds.top,
                rect.right < bounds.right ? rect.right : bounds.right,
                rect.bottom < bounds.bottom ? rect.bottom : bounds.bottom};
}

bool empty(const RECT& rect)
{
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

RECT united(const RECT& a, const RECT& b)
{
    return RECT{a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
                a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom};
}

}  // namespace

void ui_invalidate(UiState& state, UiWindow* window, const RECT* rect, bool erase)
{
    const RECT area = clipped(rect != nullptr ? *rect : client_rect(*window), client_rect(*window));
    if (empty(area)) {
        return;
    }
    window->update = window->update_pending ? united(window->update, area) : area;
    window->update_pending = true;
    window->erase_pending = window->erase_pending || erase;
    state.queue_changed.notify_all();
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase)
{
    UiLock lock;
    if (hWnd == nullptr) {
        for (auto& [key, window] : lock.state.windows) {
            ui_invalidate(lock.state, &window, nullptr, bErase != FALSE);
        }
        return TRUE;
    }
    UiWindow* window = ui_find_window(lock.state, hWnd);
    if (window == nullptr) {
        return fail_with(ERROR_INVALID_WINDOW_HANDLE);
    }
    ui_invalidate(lock.state, window, lpRect, bErase != FALSE);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    UiLock lock;
    UiWindow* window = ui_find_window(lock.state, hWnd);
    if (window == nullptr || lpPaint == nullptr) {
        fail_with(window == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = ui_open_dc(lock.state, hWnd);
    lpPaint->fErase = window->erase_pending ? TRUE : FALSE;
    if (window->update_pending) {
        lpPaint->rcPaint = window->update;
        if (window->erase_pending) {
            ui_erase_pixels(window, window->update);
            lock.mark_changed();
        }
    }
    window->update_pending = false;
    window->erase_pending = false;
    return lpPaint->hdc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    (void)hWnd;
    if (lpPaint == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    UiLock lock;
    lock.state.dcs.erase(key_of(lpPaint->hdc));
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hWnd)
{
    {
        UiLock lock;
        const UiWindow* window = ui_find_window(lock.state, hWnd);
        if (window == nullptr) {
            return fail_with(ERROR_INVALID_WINDOW_HANDLE);
        }
        if (!window->update_pending) {
            return TRUE;
        }
    }
    SendMessageA(hWnd, WM_PAINT, 0, 0);
    return TRUE;
}
