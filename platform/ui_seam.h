// Test seam of the window system: observe message boxes, read what a window
// shows, start afresh, and route termination signals to a command.
#pragma once

#include <functional>
#include <string>

#include "platform/win32.h"

using MessageBoxObserver = std::function<void(HWND owner, const char* text, const char* caption, UINT type)>;

// Called on the showing thread before the box waits for an answer; an empty
// observer removes it.
void set_message_box_observer(MessageBoxObserver observer);

// SIGINT, SIGTERM and SIGHUP each post WM_COMMAND with this id to the main
// window (the first top-level window). Signals within a second of the first
// are the same request; one later than that ends the process at once with
// the program's second_signal_status, as does a signal when there is no main
// window. SIGPIPE is ignored.
void ui_set_signal_command(UINT id, int second_signal_status);

// The plain text of a window's client area (dialog buttons as "[text]"),
// one line per row without trailing blanks; empty for no window.
std::string ui_text_of(HWND window);

// The first top-level window while it lives, else null.
HWND ui_main_window();

// Forgets every window, class, menu, timer, queued message and device
// context without calling any procedure, and lets the next window start the
// backend and own the queue afresh. Registered resources stay.
void ui_reset();
