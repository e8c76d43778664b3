// Hand-made copies of the model for the terminal's pure parts.
#pragma once

#include <string>

#include "platform/ui/backend.h"

inline HWND fake_handle(uintptr_t value)
{
    return reinterpret_cast<HWND>(value);
}

inline MenuItemView command_item(const std::string& text, UINT id, bool greyed = false)
{
    MenuItemView item;
    item.text = text;
    item.id = id;
    item.greyed = greyed;
    return item;
}

inline MenuItemView checked_item(const std::string& text, UINT id)
{
    MenuItemView item = command_item(text, id);
    item.checked = true;
    return item;
}

inline MenuItemView separator_item()
{
    MenuItemView item;
    item.separator = true;
    return item;
}

inline MenuItemView popup_item(const std::string& text, std::vector<MenuItemView> items)
{
    MenuItemView item;
    item.text = text;
    item.popup = true;
    item.items = std::move(items);
    return item;
}

// A main window of 50 x 5 cells with the program's kind of menu bar.
inline WindowView main_window_view()
{
    WindowView window;
    window.handle = fake_handle(0x100);
    window.title = "Durandex";
    window.cols = 50;
    window.rows = 5;
    window.cells.resize(250);
    window.menu = {
        command_item("&Start", 101, true),
        command_item("&Drives...", 102),
        command_item("&Pause", 104, true),
        popup_item("&Options", {popup_item("&File Flags", {command_item("&Normal", 130),
                                                           checked_item("&Write Through", 131),
                                                           separator_item(),
                                                           command_item("S&equential Scan", 133)}),
                                popup_item("&Line Size", {command_item("&32", 140),
                                                          checked_item("&64", 141)})}),
        command_item("&Quit", 100),
        command_item("&About", 103),
    };
    return window;
}

inline void put_text(WindowView& window, int col, int row, const std::string& text, CellTone tone)
{
    for (size_t i = 0; i < text.size(); ++i) {
        window.cells[static_cast<size_t>(row) * window.cols + col + i] = {static_cast<char32_t>(text[i]), tone};
    }
}

inline ControlView button(uintptr_t handle, UINT id, const std::string& text, int left, int top,
                          int cols, bool focused = false)
{
    ControlView control;
    control.handle = fake_handle(handle);
    control.id = id;
    control.text = text;
    control.left = left;
    control.top = top;
    control.cols = cols;
    control.rows = 1;
    control.focused = focused;
    return control;
}

// A Drives dialog of 50 x 4 cells with "Done", "Unselect" and two drives.
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
    window.controls = {button(0x204, 105, "Done", 1, 0, 10, true), button(0x208, 106, "Unselect", 14, 0, 10),
                       button(0x20c, 400, "C:", 5, 2, 4), button(0x210, 401, "D:", 5, 3, 4)};
    return window;
}

inline MessageBoxView box_view(uint64_t serial, const std::string& text, const std::string& caption,
                               UINT type)
{
    MessageBoxView box;
    box.serial = serial;
    box.text = text;
    box.caption = caption;
    box.type = type;
    return box;
}
