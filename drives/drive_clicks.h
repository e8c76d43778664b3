// The Drives dialog's clicks: pairs of drive picks make tasks, "Unselect"
// takes the last pick back. Both are ignored once the run has started.
#pragma once

#include "platform/win32.h"

// A click on the button with this id: a source pick makes a new task at the
// head of the task list, a target pick completes it. An id that is no
// drive's button does nothing.
void click_drive(HWND dialog, WORD button_id);

// Takes the newest task's target away, or removes the task when it has none.
void unselect_last_click();
