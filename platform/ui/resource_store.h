// Lookup of registered resources for the window system. Internal to
// platform/ui.
#pragma once

#include <string>
#include <vector>

#include "platform/resources.h"

struct RegisteredBitmap {
    int pixel_width = 0;
    int pixel_height = 0;
    std::vector<std::string> art;
};

// "#120" for an integer id, the upper-cased name otherwise; empty for null.
std::string resource_key(LPCSTR name);

bool resource_find_menu(const std::string& key, std::vector<MenuTemplateItem>* items);
bool resource_find_bitmap(const std::string& key, RegisteredBitmap* bitmap);
bool resource_find_icon(const std::string& key);
// The registered row layout of that kind of window, or the plain one.
RowLayout resource_row_layout(WindowKind kind);
