#include <cctype>
#include <map>
#include <mutex>

#include "platform/ui/cell_grid.h"
#include "platform/ui/resource_store.h"
#include "platform/ui/utf8.h"

namespace {

struct ResourceTable {
    std::mutex lock;
    std::map<std::string, std::vector<MenuTemplateItem>> menus;
    std::map<std::string, RegisteredBitmap> bitmaps;
    std::map<std::string, std::string> icons;
    std::map<WindowKind, RowLayout> row_layouts;
};

ResourceTable& table()
{
    static auto* resources = new ResourceTable();
    return *resources;
}

}  // namespace

std::string resource_key(LPCSTR name)
{
    if (name == nullptr) {
        return std::string();
    }
    if (IS_INTRESOURCE(name)) {
        return "#" + std::to_string(static_cast<unsigned>(reinterpret_cast<uintptr_t>(name)));
    }
    std::string key(name);
    for (char& ch : key) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return key;
}

void resources_register_menu(LPCSTR name, std::vector<MenuTemplateItem> items)
{
    std::lock_guard<std::mutex> guard(table().lock);
    table().menus[resource_key(name)] = std::move(items);
}

BOOL resources_register_bitmap(LPCSTR name, int pixel_width, int pixel_height,
                               std::vector<std::string> art)
{
    const size_t cols = pixel_width > 0 ? static_cast<size_t>(pixel_width / cell_width_px) : 0;
    if (cols == 0 || pixel_width % cell_width_px != 0 || art.empty() ||
        pixel_height < static_cast<int>(art.size())) {
        return FALSE;
    }
    for (const std::string& line : art) {
        if (utf8_decode(line).size() != cols) {
            return FALSE;
        }
    }
    std::lock_guard<std::mutex> guard(table().lock);
    table().bitmaps[resource_key(name)] = RegisteredBitmap{pixel_width, pixel_height, std::move(art)};
    return TRUE;
}

void resources_register_icon(LPCSTR name, std::string art)
{
    std::lock_guard<std::mutex> guard(table().lock);
    table().icons[resource_key(name)] = std::move(art);
}

BOOL resources_register_row_layout(WindowKind kind, RowLayout layout)
{
    if (!row_layout_is_valid(layout)) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(table().lock);
    table().row_layouts[kind] = std::move(layout);
    return TRUE;
}

void resources_clear()
{
    std::lock_guard<std::mutex> guard(table().lock);
    table().menus.clear();
    table().bitmaps.clear();
    table().icons.clear();
    table().row_layouts.clear();
}

bool resource_find_menu(const std::string& key, std::vector<MenuTemplateItem>* items)
{
    std::lock_guard<std::mutex> guard(table().lock);
    const auto found = table().menus.find(key);
    if (found == table().menus.end()) {
        return false;
    }
    *items = found->second;
    return true;
}

bool resource_find_bitmap(const std::string& key, RegisteredBitmap* bitmap)
{
    std::lock_guard<std::mutex> guard(table().lock);
    const auto found = table().bitmaps.find(key);
    if (found == table().bitmaps.end()) {
        return false;
    }
    *bitmap = found->second;
    return true;
}

bool resource_find_icon(const std::string& key)
{
    std::lock_guard<std::mutex> guard(table().lock);
    return table().icons.count(key) != 0;
}

RowLayout resource_row_layout(WindowKind kind)
{
    std::lock_guard<std::mutex> guard(table().lock);
    const auto found = table().row_layouts.find(kind);
    return found != table().row_layouts.end() ? found->second : plain_row_layout();
}
