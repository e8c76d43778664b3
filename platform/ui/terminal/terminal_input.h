// Turns the terminal's keys and clicks into what the window system is asked
// to do, given what is shown.
#pragma once

#include <vector>

#include "platform/ui/backend.h"
#include "platform/ui/terminal/terminal_keys.h"
#include "platform/ui/terminal/terminal_view.h"

enum class ActionKind {
    ChooseMenuItem,  // ui_choose_menu_item(window, id)
    PressButton,     // ui_press_button(control)
    PostMessage,     // PostMessageA(window, message, wparam, 0)
    AnswerBox,       // ui_answer_message_box(serial, answer)
    Interrupt,       // the operator pressed Ctrl-C
};

struct TerminalAction {
    ActionKind kind;
    HWND window = nullptr;
    HWND control = nullptr;
    UINT id = 0;
    UINT message = 0;
    WPARAM wparam = 0;
    uint64_t serial = 0;
    int answer = 0;
};

// Brings the state in line with a new view: a newly shown dialog becomes the
// active window, a vanished one hands that back to the main window, the open
// menu follows changes of the menu, and the chosen box button starts on the
// first button of each new box.
void follow_view(TerminalState& state, const UiView& view);

std::vector<TerminalAction> handle_key(TerminalState& state, const UiView& view,
                                       const TerminalKey& key);

// A left click at a screen position, with the hits of the screen shown.
std::vector<TerminalAction> handle_click(TerminalState& state, const UiView& view,
                                         const std::vector<Hit>& hits, int column, int row);
