// What a backend of the window system (headless or terminal) sees and may do.
//
// The windows, menus, dialogs and pending message boxes live in one model,
// guarded by the ui lock. A backend reads it through ui_view(), which copies
// what is shown under the lock, so the backend composes its screen without
// holding anything. It acts on the program only by posting messages to the
// window thread (PostMessageA and the helpers below), never by calling window
// procedures itself.
//
// Keys for a dialog: post WM_KEYDOWN with VK_ESCAPE, VK_RETURN, VK_SPACE or
// VK_TAB, or WM_CHAR with a letter (a drive's button), to the dialog window;
// the message loop's IsDialogMessageA turns them into the dialog's commands
// (Escape: id 2; Enter, Space: the focused button; Tab: focus to the next
// button). Closing a window: post WM_CLOSE to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

// How a cell is shown; derived from the text and background colours it was
// drawn with.
enum class CellTone : uint8_t { Normal, Red, Reverse, Dim };

struct Cell {
    char32_t ch = U' ';
    CellTone tone = CellTone::Normal;
};

struct MenuItemView {
    std::string text;  // with the '&' before the mnemonic letter
    UINT id = 0;       // 0 for a pop-up or separator
    bool greyed = false;
    bool checked = false;
    bool separator = false;
    bool popup = false;
    std::vector<MenuItemView> items;  // a pop-up's items
};

struct ControlView {
    HWND handle = nullptr;
    UINT id = 0;
    std::string text;
    // Cells relative to the dialog's client area.
    int left = 0;
    int top = 0;
    int cols = 0;
    int rows = 0;
    bool focused = false;
};

struct WindowView {
    HWND handle = nullptr;
    HWND owner = nullptr;
    std::string title;
    bool dialog = false;
    // Position of the window on the screen in cells (one column per 8 pixels,
    // one row per 20 pixels); a backend may place it as it sees fit.
    int left = 0;
    int top = 0;
    // The client area: cols x rows cells, row by row.
    int cols = 0;
    int rows = 0;
    std::vector<Cell> cells;
    std::vector<MenuItemView> menu;  // the menu bar, empty without one
    std::vector<ControlView> controls;
};

struct MessageBoxView {
    uint64_t serial = 0;
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
};

struct UiView {
    // Visible top-level windows and dialogs, oldest first.
    std::vector<WindowView> windows;
    bool busy = false;  // the wait cursor is set
    // Message boxes waiting for an answer, oldest first.
    std::vector<MessageBoxView> boxes;
    // Grows with every change of what is shown.
    uint64_t generation = 0;
};

// A copy of everything shown, taken under the ui lock.
UiView ui_view();

// The plain text of a window's client area, with a dialog's buttons drawn as
// "[text]" at their places; trailing blanks of each row are dropped.
std::string ui_window_text(const WindowView& window);

// A click on a dialog's button: WM_COMMAND with its id (BN_CLICKED) posted to
// the dialog. FALSE when the control no longer exists.
BOOL ui_press_button(HWND control);

// Chooses the menu item with that id of the window's menu: WM_COMMAND posted
// to the window unless the item is greyed, disabled or missing (FALSE then).
BOOL ui_choose_menu_item(HWND window, UINT id);

// Answers a pending message box; its caller returns the answer.
void ui_answer_message_box(uint64_t serial, int answer);

struct UiBackend {
    const char* name;
    // Called once, before the first window or message box is shown.
    void (*start)();
    // What is shown has changed. Called from any thread without the ui lock
    // held; must not block.
    void (*model_changed)();
    // true: MessageBoxA queues the box (see UiView::boxes) and the caller
    // waits for ui_answer_message_box. false: the box is written to standard
    // error and answered IDOK at once.
    bool interactive_boxes;
    // Beep's sound; may be null.
    void (*beep)(DWORD frequency, DWORD duration);
    // The window thread is about to wait for messages: does work that is due
    // and returns the product millisecond (clock_now_ms) by which it wants to
    // be called again, or UINT64_MAX. May be null.
    ULONGLONG (*idle)(ULONGLONG now_ms);
    // GetMessageA has returned 0 (WM_QUIT) with this exit code. May be null.
    void (*loop_ended)(int exit_code);
};

// The terminal backend, defined by the terminal code.
const UiBackend* terminal_backend();

// The headless backend: snapshots of the main window on standard output.
const UiBackend* headless_backend();

// The backend in use: DURANDEX_UI=headless or terminal chooses; otherwise the
// terminal when standard output is a terminal. Chosen once.
const UiBackend* ui_backend();

// Puts another backend in place of the chosen one for windows and boxes
// shown from now on (after ui_reset in tests); null returns to the choice.
void ui_use_backend(const UiBackend* backend);
