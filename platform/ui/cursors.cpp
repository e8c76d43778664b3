// The arrow and wait cursors; the wait cursor shows as the busy mark.
#include "platform/errors.h"
#include "platform/ui/ui_state.h"

namespace {

// Stock cursors have fixed handles, outside the range of allocated ones.
constexpr uintptr_t stock_cursor_base = 0x7F000000u;

bool is_stock_cursor(LPCSTR name)
{
    return name == IDC_ARROW || name == IDC_WAIT;
}

}  // namespace

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName)
{
    if (hInstance != nullptr || !is_stock_cursor(lpCursorName)) {
        fail_with(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return handle_of<HCURSOR>(stock_cursor_base | reinterpret_cast<uintptr_t>(lpCursorName));
}

HCURSOR WINAPI SetCursor(HCURSOR hCursor)
{
    UiLock lock;
    HCURSOR previous = lock.state.cursor;
    if (previous != hCursor) {
        lock.state.cursor = hCursor;
        lock.mark_changed();
    }
    return previous;
}

bool ui_cursor_busy(const UiState& state)
{
    return state.cursor == handle_of<HCURSOR>(stock_cursor_base | reinterpret_cast<uintptr_t>(IDC_WAIT));
}
