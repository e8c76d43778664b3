// Test seam of the window system: observe message boxes as they are shown.
#pragma once

#include <functional>

#include "platform/win32.h"

using MessageBoxObserver = std::function<void(HWND owner, const char* text, const char* caption, UINT type)>;

// Called on the showing thread before the box waits for an answer; an empty
// observer removes it.
void set_message_box_observer(MessageBoxObserver observer);
