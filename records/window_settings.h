// What the program's windows keep between messages: the main window's size,
// the bitmaps it draws from, the Drives dialog and its template, and the
// animation counter. Only the window thread touches it; the engine never does.
#pragma once

#include "platform/win32.h"

struct WindowSettings {
    int window_width = 400;
    int window_height = 140;
    HWND drives_dialog = nullptr;
    HGLOBAL dialog_template = nullptr;
    int dialog_width = 0;
    BYTE anim_frame = 59;
    HINSTANCE instance = nullptr;
    HBITMAP anim_bitmap = nullptr;
    HBITMAP drive_type_bitmap = nullptr;
    HBITMAP tiles_bitmap = nullptr;
};

extern WindowSettings window_settings;
