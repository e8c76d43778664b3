// What the terminal shows beyond the model: the open menu, the active window,
// the chosen message-box button, and where each clickable thing was drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/ui/terminal/terminal_frame.h"

// The menu bar when the keyboard or mouse has entered it. `path` holds the
// selected item of each open pop-up, outermost first; empty when only the
// bar is selected.
struct MenuCursor {
    bool active = false;
    int bar = 0;
    std::vector<int> path;
};

struct TerminalState {
    MenuCursor menu;
    HWND active = nullptr;  // the window that plain keys go to
    std::vector<HWND> seen_windows;
    uint64_t box_serial = 0;
    int box_button = 0;  // index among the shown box's buttons
};

enum class HitKind { BarItem, PopupItem, Control, Window, BoxButton };

struct Hit {
    HitKind kind;
    int left;
    int top;
    int cols;
    int rows;
    int level = 0;  // pop-up depth, for PopupItem
    int index = 0;  // bar or pop-up item index
    HWND window = nullptr;
    HWND control = nullptr;
    int answer = 0;  // for BoxButton
};

struct Composition {
    Frame frame;
    // In drawing order: the last hit containing a point is the one on top.
    std::vector<Hit> hits;
};

// The window that carries the menu bar and sits under the title: the oldest
// window that is not a dialog; null when there is none.
const WindowView* main_window_of(const UiView& view);
const WindowView* window_in(const UiView& view, HWND handle);

// The items of the pop-up open at `level` (0: the one under the bar item),
// or null when that level is not open or no longer exists.
const std::vector<MenuItemView>* popup_items(const WindowView& main, const MenuCursor& cursor,
                                             int level);

// A menu text without its '&' marks, and the position of the mnemonic.
struct MenuLabel {
    std::string text;
    int mnemonic_at = -1;
};
MenuLabel menu_label(const std::string& text);
bool matches_mnemonic(const std::string& text, char key);

// The answers a message box offers, in the order its buttons are drawn.
std::vector<int> box_answers(UINT type);
