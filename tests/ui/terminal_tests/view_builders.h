// Hand-made copies of the model for the terminal's pure parts.
#pragma once

#include <string>

#include "platform/ui/backend.h"

inline HWND fake_handle(uintptr_t value)
{
    return reinterpret_cast<HWND>(value);
}

inline MenuItemView menu_item(const std::string& text, UINT id, bool greyed = false, bool checked = false)
{
    return {text, id, greyed, checked, false, false, {}};
}

inline MenuItemView popup_item(const std::string& text, std::vector<MenuItemView> items)
{
    return {text, 0, false, false, false, true, std::move(items)};
}

// A main window (0x100) of 50 x 5 cells with the program's kind of menu bar.
inline WindowView main_window_view()
{
    WindowView window;
    window.handle = fake_handle(0x100);
    window.title = "Durandex";
    window.cols = 50;
    window.rows = 5;
    window.cells.resize(250);
    const MenuItemView separator{"", 0, false, false, true, false, {}};
    window.menu = {
        menu_item("&Start", 101, true),
        menu_item("&Drives...", 102),
        menu_item("&Pause", 104, true),
        popup_item("&Options", {popup_item("&File Flags", {menu_item("&Normal", 130),
                                                           menu_item("&Write Through", 131, false, true),
                                                           separator, menu_item("S&equential Scan", 133)}),
                                popup_item("&Line Size", {menu_item("&32", 140), menu_item("&64", 141, false, true)})}),
        menu_item("&Quit", 100),
        menu_item("&About", 103),
    };
    return window;
}

inline void put_text(WindowView& window, int col, int row, const std::string& text, CellTone tone)
{
    for (size_t i = 0; i < text.size(); ++i) {
        window.cells[static_cast<size_t>(row) * window.cols + col + i] = {static_cast<char32_t>(text[i]), tone};
    }
}

// A Drives dialog (0x200) of 50 x 4 cells with "Done" (focused), "Unselect"
// and two drives.
inline WindowView dialog_view()
{
    WindowView window;
    window.handle = fake_handle(0x200);
    window.owner = fake_handle(0x100);
    window.title = "Drives";
    window.dialog = true;
    window.cols = 50;
    window.rows = 4;
    window.cells.resize(200);
    window.controls = {{fake_handle(0x204), 105, "Done", 1, 0, 10, 1, true},
                       {fake_handle(0x208), 106, "Unselect", 14, 0, 10, 1, false},
                       {fake_handle(0x20c), 400, "C:", 5, 2, 4, 1, false},
                       {fake_handle(0x210), 401, "D:", 5, 3, 4, 1, false}};
    return window;
}

inline MessageBoxView box_view(uint64_t serial, const std::string& text, const std::string& caption, UINT type)
{
    return {serial, nullptr, text, caption, type};
}
