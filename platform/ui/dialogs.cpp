// Modeless dialogs from in-memory templates, their buttons and keyboard.
//
// Control positions: one dialog unit is two pixels (the program paints its
// dialog on that scale), and pixels become cells as in any window: a control
// at x, y, cx, cy dialog units covers columns 2x / 8 to (2x + 2cx) / 8 and the
// row of pixel 2y in the row layout registered for dialogs.
#include <cctype>

#include "platform/errors.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/resource_store.h"
#include "platform/ui/ui_state.h"

namespace {

constexpr int pixels_per_dialog_unit = 2;
constexpr int caption_height_px = 20;
// Templates carry no size; reading stops at this many bytes.
constexpr size_t longest_template = 65536;

bool is_button(const UiWindow& window)
{
    return window.class_name == "BUTTON";
}

UiWindow dialog_window(const DialogTemplate& layout, const UiWindow* owner, HWND owner_handle,
                       DLGPROC proc)
{
    UiWindow window;
    window.class_name = "#32770";
    window.title = layout.title;
    window.style = layout.style;
    window.dialog = true;
    window.dialog_proc = proc;
    window.owner = owner_handle;
    window.layout = resource_row_layout(WindowKind::Dialog);
    window.x = (owner != nullptr ? owner->x : 0) + layout.x * pixels_per_dialog_unit;
    window.y = (owner != nullptr ? owner->y : 0) + layout.y * pixels_per_dialog_unit;
    window.width = layout.cx * pixels_per_dialog_unit;
    const bool caption = (layout.style & WS_CAPTION) == WS_CAPTION;
    window.height = layout.cy * pixels_per_dialog_unit + (caption ? caption_height_px : 0);
    return window;
}

UiWindow control_window(const DialogItem& item, HWND dialog)
{
    UiWindow control;
    control.class_name = item.class_name;
    control.title = item.text;
    control.style = item.style;
    control.parent = dialog;
    control.control_id = item.id;
    control.x = item.x * pixels_per_dialog_unit;
    control.y = item.y * pixels_per_dialog_unit;
    control.width = item.cx * pixels_per_dialog_unit;
    control.height = item.cy * pixels_per_dialog_unit;
    control.visible = (item.style & WS_VISIBLE) != 0;
    return control;
}

// The dialog's buttons in template order.
std::vector<HWND> buttons_of(const UiState& state, HWND dialog)
{
    std::vector<HWND> buttons;
    for (const auto& [key, window] : state.windows) {
        if (window.parent == dialog && is_button(window) && window.visible) {
            buttons.push_back(handle_of<HWND>(key));
        }
    }
    return buttons;
}

HWND first_focus(const UiState& state, HWND dialog)
{
    const std::vector<HWND> buttons = buttons_of(state, dialog);
    for (HWND button : buttons) {
        if ((state.windows.at(key_of(button)).style & WS_TABSTOP) != 0) {
            return button;
        }
    }
    return buttons.empty() ? nullptr : buttons.front();
}

void focus_next_button(UiLock& lock, HWND dialog)
{
    UiWindow* window = ui_find_window(lock.state, dialog);
    const std::vector<HWND> buttons = buttons_of(lock.state, dialog);
    if (window == nullptr || buttons.empty()) {
        return;
    }
    size_t next = 0;
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i] == window->focus) {
            next = (i + 1) % buttons.size();
        }
    }
    window->focus = buttons[next];
    lock.mark_changed();
}

// The button whose text is that drive letter and a colon.
HWND drive_button(const UiState& state, HWND dialog, char letter)
{
    for (HWND button : buttons_of(state, dialog)) {
        const std::string& text = state.windows.at(key_of(button)).title;
        if (text.size() >= 2 && text[1] == ':' &&
            std::toupper(static_cast<unsigned char>(text[0])) == std::toupper(static_cast<unsigned char>(letter))) {
            return button;
        }
    }
    return nullptr;
}

void send_click(HWND dialog, HWND button)
{
    UINT id = 0;
    {
        UiLock lock;
        const UiWindow* control = ui_find_window(lock.state, button);
        UiWindow* window = ui_find_window(lock.state, dialog);
        if (control == nullptr || window == nullptr) {
            return;
        }
        id = control->control_id;
        window->focus = button;
    }
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

bool belongs_to(const UiState& state, HWND window, HWND dialog)
{
    if (window == dialog) {
        return true;
    }
    const auto found = state.windows.find(key_of(window));
    return found != state.windows.end() && found->second.parent == dialog;
}

void handle_dialog_key(HWND dialog, WPARAM key)
{
    HWND focus = nullptr;
    {
        UiLock lock;
        if (key == VK_TAB) {
            focus_next_button(lock, dialog);
            return;
        }
        const UiWindow* window = ui_find_window(lock.state, dialog);
        focus = window != nullptr ? window->focus : nullptr;
    }
    if (key == VK_ESCAPE) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    } else if ((key == VK_RETURN || key == VK_SPACE) && focus != nullptr) {
        send_click(dialog, focus);
    }
}

void handle_dialog_char(HWND dialog, WPARAM ch)
{
    if (ch > 0x7F || std::isalpha(static_cast<int>(ch)) == 0) {
        return;
    }
    HWND button = nullptr;
    {
        UiLock lock;
        button = drive_button(lock.state, dialog, static_cast<char>(ch));
    }
    if (button != nullptr) {
        send_click(dialog, button);
    }
}

}  // namespace

LRESULT ui_dialog_window_proc(HWND dialog, DLGPROC proc, UINT message, WPARAM wparam, LPARAM lparam)
{
    const INT_PTR handled = proc != nullptr ? proc(dialog, message, wparam, lparam) : FALSE;
    if (handled != FALSE || message == WM_INITDIALOG) {
        return handled;
    }
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        if (BeginPaint(dialog, &paint) != nullptr) {
            EndPaint(dialog, &paint);
        }
    } else if (message == WM_CLOSE) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return 0;
}

HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    (void)hInstance;
    DialogTemplate layout;
    if (!parse_dialog_template(lpTemplate, longest_template, &layout)) {
        fail_with(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ui_start_backend();
    HWND dialog = nullptr;
    HWND focus = nullptr;
    {
        UiLock lock;
        const UiWindow* owner = ui_find_window(lock.state, hWndParent);
        if (hWndParent != nullptr && owner == nullptr) {
            fail_with(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        dialog = ui_add_window(lock.state, dialog_window(layout, owner, hWndParent, lpDialogFunc));
        for (const DialogItem& item : layout.items) {
            ui_add_window(lock.state, control_window(item, dialog));
        }
        focus = first_focus(lock.state, dialog);
        ui_find_window(lock.state, dialog)->focus = focus;
        lock.mark_changed();
    }
    ui_call_window_proc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), dwInitParam);
    UiLock lock;
    UiWindow* window = ui_find_window(lock.state, dialog);
    if (window == nullptr) {
        // The dialog closed itself while it was being set up.
        return nullptr;
    }
    window->visible = (layout.style & WS_VISIBLE) != 0;
    ui_invalidate(lock.state, window, nullptr, true);
    lock.mark_changed();
    return dialog;
}

BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg)
{
    if (lpMsg == nullptr) {
        return FALSE;
    }
    {
        UiLock lock;
        if (ui_find_window(lock.state, hDlg) == nullptr || !belongs_to(lock.state, lpMsg->hwnd, hDlg)) {
            return FALSE;
        }
    }
    if (lpMsg->message == WM_KEYDOWN) {
        handle_dialog_key(hDlg, lpMsg->wParam);
    } else if (lpMsg->message == WM_CHAR) {
        handle_dialog_char(hDlg, lpMsg->wParam);
    } else {
        DispatchMessageA(lpMsg);
    }
    return TRUE;
}

BOOL ui_press_button(HWND control)
{
    HWND dialog = nullptr;
    UINT id = 0;
    {
        UiLock lock;
        const UiWindow* button = ui_find_window(lock.state, control);
        if (button == nullptr || button->parent == nullptr) {
            return FALSE;
        }
        dialog = button->parent;
        id = button->control_id;
        UiWindow* owner = ui_find_window(lock.state, dialog);
        if (owner != nullptr) {
            owner->focus = control;
        }
        lock.mark_changed();
    }
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}
