// The Drives dialog's table: each drive's type tile, file system, volume
// label and free and total megabytes between two rules.
#pragma once

#include "platform/win32.h"

// WM_PAINT of the dialog.
void paint_drive_table(HWND dialog);
