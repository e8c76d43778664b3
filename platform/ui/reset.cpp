// Starting the window system afresh, for tests that each build their own
// windows in one process.
#include "platform/ui/ui_state.h"
#include "platform/ui_test_seams.h"

void ui_reset()
{
    UiLock lock;
    UiState& state = lock.state;
    ui_forget_all_windows(state);
    state.classes.clear();
    state.menus.clear();
    state.dcs.clear();
    state.objects.clear();
    state.stock_bitmap = 0;
    state.stock_pen = 0;
    state.posted.clear();
    state.timers.clear();
    state.quit_pending = false;
    state.quit_code = 0;
    state.has_window_thread = false;
    state.window_thread = std::thread::id();
    state.cursor = nullptr;
    state.icons.clear();
    state.backend.store(nullptr, std::memory_order_release);
    lock.mark_changed();
}
