// The Drives dialog: every drive of the inventory with a button; clicks in
// pairs make tasks, "Unselect" takes the last click back, "Done" closes it.
// With "/a" or "/c" on the command line it makes the tasks and starts the run
// by itself.
#pragma once

#include <cstddef>

#include "platform/win32.h"

constexpr WORD drives_dialog_done_id = 105;
constexpr WORD drives_dialog_unselect_id = 106;
constexpr size_t drives_dialog_template_bytes = 1024;

// A zero-filled block of drives_dialog_template_bytes holding the dialog's
// template for that many drives (at most 26); null when it cannot be
// allocated.
HGLOBAL build_drives_dialog_template(int drive_count);

// Builds the template into window_settings.dialog_template and opens the
// modeless dialog owned by `owner`; null when nothing opens.
HWND open_drives_dialog(HINSTANCE instance, HWND owner, int drive_count);

INT_PTR CALLBACK drives_dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
