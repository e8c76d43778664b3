// The program's resources: a menu template, bitmaps drawn as character art, an
// icon and the row layouts of its windows. Menus, bitmaps and icons are
// registered under a name or an integer id (MAKEINTRESOURCEA) before
// LoadMenuA, LoadBitmapA, LoadIconA or a window class's menu name look them up.
// Names are matched without regard to case, as resource names are.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

struct MenuTemplateItem {
    std::string text;  // "&Start"; empty for a separator
    UINT id = 0;       // the command id; unused by a pop-up
    std::vector<MenuTemplateItem> items;  // not empty: the item is a pop-up
};

// Replaces a menu of the same name.
void resources_register_menu(LPCSTR name, std::vector<MenuTemplateItem> items);

// A bitmap of pixel_width x pixel_height pixels whose picture is the art, one
// UTF-8 string per cell row, each pixel_width / 8 characters wide; the rows
// split the pixel height evenly. FALSE (nothing registered) when the art does
// not fit that size.
BOOL resources_register_bitmap(LPCSTR name, int pixel_width, int pixel_height,
                               std::vector<std::string> art);

// An icon; its art is what a title bar may show for it.
void resources_register_icon(LPCSTR name, std::string art);

// How a window's pixel rows become character rows. The program draws text,
// rules and tiles at pixel heights that no fixed pitch would keep apart, so it
// tells the window system where its rows begin: row 0 from y 0, row i + 1 from
// starts[i] (ascending), and from the last start on one row every `pitch`
// pixels.
struct RowLayout {
    std::vector<int> starts;
    int pitch = 0;
};

// Rows begin at ascending heights below the first row, and repeat.
inline bool row_layout_is_valid(const RowLayout& layout)
{
    int previous = 0;
    for (const int start : layout.starts) {
        if (start <= previous) {
            return false;
        }
        previous = start;
    }
    return layout.pitch > 0;
}

enum class WindowKind { TopLevel, Dialog };

// The row layout that each top-level window or dialog created from now on
// takes; a window created without one has a row every 20 pixels, the height
// of a caption. FALSE (nothing registered) when the starts do not ascend from
// above 0 or the pitch is not positive.
BOOL resources_register_row_layout(WindowKind kind, RowLayout layout);

// Forgets every registration.
void resources_clear();
