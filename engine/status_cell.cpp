#include "engine/status_cell.h"

#include <cstring>

#include "records/run_settings.h"
#include "records/window_layout.h"

namespace {

// The context a worker holds between GetDC and ReleaseDC. A worker's pass
// may be abandoned in between, so it lives outside the pass.
struct HeldContext {
    HWND window;
    HDC dc;
};

thread_local HeldContext held_context = {nullptr, nullptr};

}  // namespace

void draw_status_word(Task* task, const char* word)
{
    held_context.window = run_settings.main_window.load();
    held_context.dc = GetDC(held_context.window);
    if (held_context.dc == nullptr) {
        return;
    }
    SetTextColor(held_context.dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(held_context.dc, GetSysColor(COLOR_WINDOW));
    TextOutA(held_context.dc, main_window_layout.status_x, (int)task->row_y.load(), word, (int)strlen(word));
    release_held_status_dc();
}

void release_held_status_dc()
{
    if (held_context.dc != nullptr) {
        ReleaseDC(held_context.window, held_context.dc);
        held_context.dc = nullptr;
    }
}
