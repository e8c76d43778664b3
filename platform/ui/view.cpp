// Copies of the model for backends and tests, and the plain-text rendering of
// a window.
#include "platform/ui/ui_state.h"
#include "platform/ui/utf8.h"
#include "platform/ui_test_seams.h"

namespace {

constexpr int screen_row_height_px = 20;

ControlView control_view(const UiState& state, HWND dialog, uintptr_t key, const UiWindow& control)
{
    const UiWindow& owner = state.windows.at(key_of(dialog));
    ControlView view;
    view.handle = handle_of<HWND>(key);
    view.id = control.control_id;
    view.text = control.title;
    view.left = column_of_x(control.x);
    view.top = row_of_y(owner.layout, control.y);
    const int right = column_of_x(control.x + control.width);
    view.cols = right > view.left ? right - view.left : 1;
    const int bottom = row_of_y(owner.layout, control.y + control.height - 1);
    view.rows = bottom >= view.top ? bottom - view.top + 1 : 1;
    view.focused = owner.focus == view.handle;
    return view;
}

WindowView window_view(UiState& state, uintptr_t key, const UiWindow& window)
{
    WindowView view;
    view.handle = handle_of<HWND>(key);
    view.owner = window.owner;
    view.title = window.title;
    view.dialog = window.dialog;
    view.left = column_of_x(window.x);
    view.top = window.y / screen_row_height_px;
    view.cols = window.grid.cols;
    view.rows = window.grid.rows;
    view.cells = window.grid.cells;
    view.menu = ui_menu_view(state, window.menu);
    for (const auto& [control_key, control] : state.windows) {
        if (control.parent == view.handle && control.visible) {
            view.controls.push_back(control_view(state, view.handle, control_key, control));
        }
    }
    return view;
}

// A button's face: its text in brackets, centred in its width.
std::u32string button_face(const ControlView& control)
{
    std::u32string text = utf8_decode(control.text);
    const size_t inner = control.cols > 2 ? static_cast<size_t>(control.cols - 2) : 0;
    if (text.size() > inner) {
        text.resize(inner);
    }
    const size_t before = (inner - text.size()) / 2;
    return U"[" + std::u32string(before, U' ') + text + std::u32string(inner - text.size() - before, U' ') + U"]";
}

}  // namespace

UiView ui_view()
{
    UiLock lock;
    UiView view;
    for (const auto& [key, window] : lock.state.windows) {
        if (window.visible && window.parent == nullptr) {
            view.windows.push_back(window_view(lock.state, key, window));
        }
    }
    view.busy = ui_cursor_busy(lock.state);
    for (const PendingBox* box : lock.state.boxes) {
        if (!box->answered) {
            view.boxes.push_back(box->view);
        }
    }
    view.generation = lock.state.generation;
    return view;
}

std::string ui_window_text(const WindowView& window)
{
    std::vector<std::u32string> rows(static_cast<size_t>(window.rows), std::u32string(static_cast<size_t>(window.cols), U' '));
    for (int row = 0; row < window.rows; ++row) {
        for (int col = 0; col < window.cols; ++col) {
            rows[row][col] = window.cells[static_cast<size_t>(row) * window.cols + col].ch;
        }
    }
    for (const ControlView& control : window.controls) {
        const std::u32string face = button_face(control);
        for (size_t i = 0; i < face.size(); ++i) {
            const int col = control.left + static_cast<int>(i);
            if (control.top >= 0 && control.top < window.rows && col >= 0 && col < window.cols) {
                rows[control.top][col] = face[i];
            }
        }
    }
    std::string text;
    for (std::u32string& row : rows) {
        while (!row.empty() && row.back() == U' ') {
            row.pop_back();
        }
        for (char32_t ch : row) {
            text += utf8_encode(ch);
        }
        text += '\n';
    }
    return text;
}

BOOL ui_choose_menu_item(HWND window, UINT id)
{
    {
        UiLock lock;
        const UiWindow* found = ui_find_window(lock.state, window);
        if (found == nullptr || !ui_menu_command_enabled(lock.state, found->menu, id)) {
            return FALSE;
        }
    }
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

std::string ui_text_of(HWND window)
{
    UiLock lock;
    const auto found = lock.state.windows.find(key_of(window));
    if (found == lock.state.windows.end()) {
        return std::string();
    }
    return ui_window_text(window_view(lock.state, found->first, found->second));
}

HWND ui_main_window()
{
    UiLock lock;
    return handle_of<HWND>(lock.state.main_window);
}
