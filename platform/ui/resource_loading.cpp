// LoadBitmapA and LoadIconA over the registered resources.
#include "platform/errors.h"
#include "platform/ui/resource_store.h"
#include "platform/ui/ui_state.h"
#include "platform/ui/utf8.h"

namespace {

constexpr uintptr_t stock_application_icon = 0x7E000000u | 32512u;

CellGrid art_grid(const RegisteredBitmap& bitmap)
{
    CellGrid grid;
    grid_resize(&grid, bitmap.pixel_width / cell_width_px, static_cast<int>(bitmap.art.size()));
    for (int row = 0; row < grid.rows; ++row) {
        const std::u32string line = utf8_decode(bitmap.art[static_cast<size_t>(row)]);
        for (int col = 0; col < grid.cols; ++col) {
            grid_put(&grid, col, row, Cell{line[static_cast<size_t>(col)], CellTone::Normal});
        }
    }
    return grid;
}

}  // namespace

HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName)
{
    (void)hInstance;
    RegisteredBitmap registered;
    if (!resource_find_bitmap(resource_key(lpBitmapName), &registered)) {
        fail_with(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    UiGdiObject bitmap;
    bitmap.kind = GdiKind::Bitmap;
    bitmap.pixel_width = registered.pixel_width;
    bitmap.pixel_height = registered.pixel_height;
    bitmap.art = art_grid(registered);
    UiLock lock;
    const uintptr_t key = ui_new_handle(lock.state);
    lock.state.objects[key] = std::move(bitmap);
    return handle_of<HBITMAP>(key);
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    if (hInstance == nullptr && lpIconName == IDI_APPLICATION) {
        return handle_of<HICON>(stock_application_icon);
    }
    const std::string key = resource_key(lpIconName);
    if (!resource_find_icon(key)) {
        fail_with(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    UiLock lock;
    uintptr_t& handle = lock.state.icons[key];
    if (handle == 0) {
        handle = ui_new_handle(lock.state);
    }
    return handle_of<HICON>(handle);
}
