// On Windows the resources are linked into the program from its resource
// script (durandex.rc); registering one checks that the program carries it
// as the code above describes it, so that the script and the code cannot
// drift apart unnoticed.
#include "platform/resources.h"

#include <cstdio>

namespace {

HMODULE program_module()
{
    return GetModuleHandleA(nullptr);
}

std::string resource_name_text(LPCSTR name)
{
    return IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<ULONG_PTR>(name)) : std::string(name);
}

void report_mismatch(const char* kind, LPCSTR name, const char* what)
{
    std::fprintf(stderr, "durandex: the %s resource %s %s\n", kind, resource_name_text(name).c_str(), what);
}

bool menu_matches(HMENU menu, const std::vector<MenuTemplateItem>& items)
{
    if (GetMenuItemCount(menu) != static_cast<int>(items.size())) {
        return false;
    }
    for (size_t index = 0; index < items.size(); ++index) {
        char text[MAX_PATH] = {};
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING | MIIM_ID | MIIM_SUBMENU;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(index), TRUE, &info) || items[index].text != text) {
            return false;
        }
        const MenuTemplateItem& item = items[index];
        const bool pop_up = !item.items.empty();
        if (pop_up ? info.hSubMenu == nullptr || !menu_matches(info.hSubMenu, item.items)
                   : info.hSubMenu != nullptr || info.wID != item.id) {
            return false;
        }
    }
    return true;
}

}  // namespace

void resources_register_menu(LPCSTR name, std::vector<MenuTemplateItem> items)
{
    HMENU menu = LoadMenuA(program_module(), name);
    if (menu == nullptr) {
        report_mismatch("menu", name, "is missing");
        return;
    }
    if (!menu_matches(menu, items)) {
        report_mismatch("menu", name, "differs from the program's menu");
    }
    DestroyMenu(menu);
}

// The art is what the terminal draws; the bitmap itself comes from the
// script, drawn to the same size.
BOOL resources_register_bitmap(LPCSTR name, int pixel_width, int pixel_height, std::vector<std::string>)
{
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(program_module(), name, IMAGE_BITMAP, 0, 0, 0));
    if (bitmap == nullptr) {
        report_mismatch("bitmap", name, "is missing");
        return FALSE;
    }
    BITMAP size{};
    const bool fits = GetObjectA(bitmap, sizeof size, &size) != 0 && size.bmWidth == pixel_width &&
                      size.bmHeight == pixel_height;
    DeleteObject(bitmap);
    if (!fits) {
        report_mismatch("bitmap", name, "has another size than the program draws with");
        return FALSE;
    }
    return TRUE;
}

void resources_register_icon(LPCSTR name, std::string)
{
    if (FindResourceA(program_module(), name, MAKEINTRESOURCEA(14)) == nullptr) {  // RT_GROUP_ICON
        report_mismatch("icon", name, "is missing");
    }
}

// Nothing is kept: the resources live in the program file.
// Windows places text by pixels, so a window needs no rows of its own; the
// layout is still checked as the terminal build checks it.
BOOL resources_register_row_layout(WindowKind, RowLayout layout)
{
    return row_layout_is_valid(layout) ? TRUE : FALSE;
}

void resources_clear() {}
