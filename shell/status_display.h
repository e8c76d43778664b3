// The main window's task table, heading, animation and elapsed-time line.
#pragma once

#include <cstddef>

#include "platform/win32.h"

// WM_PAINT: the whole window; sets every task's row_y.
void paint_main_window(HWND window);

// Timer 110: the next animation frame and every count that changed since it
// was last drawn.
void refresh_display(HWND window);

// "%d Days, %2.2d Hrs, %2.2d Mins" for that many seconds, each part taken as
// a signed 16-bit value. FALSE with last error ERROR_FILENAME_EXCED_RANGE
// when the text does not fit `size`; never cut short.
BOOL format_elapsed_time(DWORD elapsed_seconds, char* text, size_t size);

// The elapsed-time line on its row, drawn through the window's own context.
void draw_elapsed_time(HWND window, DWORD elapsed_seconds);
