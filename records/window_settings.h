// What the program's windows keep between messages: the main window's size,
// the bitmaps it draws from, the Drives dialog and its template, and the
// animation counter. Only the window thread touches it; the engine never does.
#pragma once

#include "platform/win32.h"

// Commands of the main window's menu, also posted by the Drives dialog, the
// minute tick and the wall-clock limit.
constexpr UINT command_quit = 100;
constexpr UINT command_start = 101;
constexpr UINT command_drives = 102;
constexpr UINT command_about = 103;
constexpr UINT command_pause = 104;
constexpr UINT command_flags_normal = 130;
constexpr UINT command_flags_write_through = 131;
constexpr UINT command_flags_random_access = 132;
constexpr UINT command_flags_sequential_scan = 133;
constexpr UINT command_line_size_32 = 140;
constexpr UINT command_line_size_64 = 141;

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
