// The Drives dialog: every drive of the inventory with a button; clicks in
// pairs make tasks, "Unselect" takes the last click back, "Done" closes it.
// With "/a" or "/c" on the command line it makes the tasks and starts the run
// by itself.
#pragma once

#include <cstddef>

#include "records/drive.h"
#include "platform/win32.h"

constexpr WORD drives_dialog_done_id = 105;
constexpr WORD drives_dialog_unselect_id = 106;
constexpr size_t drives_dialog_template_bytes = 1024;
constexpr int drives_dialog_most_drives = 26;
// The dialog paints in pixels, two per dialog unit of its 200-unit template.
constexpr int drives_dialog_width = 400;

// A zero-filled block of drives_dialog_template_bytes holding the dialog's
// template with a button for each of the first drive_count records of the
// list `drives` (at most drives_dialog_most_drives); null when it cannot be
// allocated.
HGLOBAL build_drives_dialog_template(const Drive* drives, int drive_count);

// Builds the template for the drive list into window_settings.dialog_template
// and opens the modeless dialog owned by `owner`; the caller keeps the window
// in window_settings.drives_dialog. Null when nothing opens, and when the
// command line's automatic selection is refused: *refused is then TRUE, the
// dialog closed again, and the program is to end.
HWND open_drives_dialog(HINSTANCE instance, HWND owner, int drive_count, BOOL* refused);

INT_PTR CALLBACK drives_dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// Destroys the dialog, forgets it and releases its template.
void close_drives_dialog(HWND dialog);
