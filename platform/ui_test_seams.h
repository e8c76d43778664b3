// Test seams of the window system: observe message boxes, read what a window
// shows, start afresh. Only tests and the window system itself include this.
#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"

using MessageBoxObserver = std::function<void(HWND owner, const char* text, const char* caption, UINT type)>;

// Called on the showing thread before the box waits for an answer; an empty
// observer removes it.
void set_message_box_observer(MessageBoxObserver observer);

// The plain text of a window's client area (dialog buttons as "[text]"),
// one line per row without trailing blanks; empty for no window.
std::string ui_text_of(HWND window);

// The first top-level window while it lives, else null.
HWND ui_main_window();

// Forgets every window, class, menu, timer, queued message and device
// context without calling any procedure, and lets the next window start the
// backend and own the queue afresh. Registered resources stay.
void ui_reset();
