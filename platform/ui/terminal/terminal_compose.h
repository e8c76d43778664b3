// Composes the terminal screen from the window system's model.
#pragma once

#include "platform/ui/backend.h"
#include "platform/ui/terminal/terminal_view.h"

// The title line (with the menu bar and the busy mark), the main window under
// it, dialogs beside it when they fit and over it when not, the open pop-ups,
// and the oldest pending message box over everything.
Composition compose_screen(const UiView& view, const TerminalState& state, int width, int height);

// Where the main window's client area starts on the screen.
constexpr int main_client_left = 1;
constexpr int main_client_top = 1;

// Shown on the title line while the wait cursor is set.
constexpr const char* busy_mark = "(busy)";
