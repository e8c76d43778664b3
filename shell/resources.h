// The program's resources: the menu "DurandexMenu", the icon "PestleboxIcon",
// the bitmaps 120 (animation frames), 121 (drive-type tiles) and 122
// (letter tiles, arrow and emblem), drawn as character art, and the main
// window's rows.
#pragma once

#include "platform/win32.h"

constexpr int anim_bitmap_id = 120;
constexpr int drive_type_bitmap_id = 121;
constexpr int tiles_bitmap_id = 122;

// Registers every resource with the window system; call before the bitmaps
// are loaded and the window class is registered. FALSE when a bitmap's art
// does not fit its pixel size.
BOOL register_program_resources();
