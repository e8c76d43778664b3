// Menus built from a registered menu template: enabling, checking and
// changing items by command id or by position, pop-ups, the menu bar.
#include "platform/errors.h"
#include "platform/ui/resource_store.h"
#include "platform/ui/ui_state.h"

namespace {

constexpr DWORD error_menu_item_not_found = 1456;
constexpr UINT enable_bits = MF_GRAYED | MF_DISABLED;

HMENU build_menu(UiState& state, const std::vector<MenuTemplateItem>& items)
{
    UiMenu menu;
    for (const MenuTemplateItem& source : items) {
        UiMenuItem item;
        item.text = source.text;
        item.separator = source.text.empty() && source.items.empty();
        if (source.items.empty()) {
            item.id = source.id;
        } else {
            item.popup = build_menu(state, source.items);
        }
        menu.items.push_back(std::move(item));
    }
    const uintptr_t key = ui_new_handle(state);
    state.menus[key] = std::move(menu);
    return handle_of<HMENU>(key);
}

// The item by position, or the first item with that command id in the menu
// and its pop-ups, depth first.
UiMenuItem* find_item(UiState& state, HMENU handle, UINT item, UINT flags)
{
    UiMenu* menu = ui_find_menu(state, handle);
    if (menu == nullptr) {
        return nullptr;
    }
    if ((flags & MF_BYPOSITION) != 0) {
        return item < menu->items.size() ? &menu->items[item] : nullptr;
    }
    for (UiMenuItem& candidate : menu->items) {
        if (candidate.popup == nullptr && !candidate.separator && candidate.id == item) {
            return &candidate;
        }
        if (candidate.popup != nullptr) {
            UiMenuItem* found = find_item(state, candidate.popup, item, flags);
            if (found != nullptr) {
                return found;
            }
        }
    }
    return nullptr;
}

// Looks the item up and sets the last error the way Win32 does when it is
// not there.
UiMenuItem* item_or_fail(UiState& state, HMENU handle, UINT item, UINT flags)
{
    if (ui_find_menu(state, handle) == nullptr) {
        fail_with(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    UiMenuItem* found = find_item(state, handle, item, flags);
    if (found == nullptr) {
        fail_with(error_menu_item_not_found);
    }
    return found;
}

}  // namespace

HMENU ui_load_menu(UiState& state, const std::string& key)
{
    std::vector<MenuTemplateItem> items;
    if (!resource_find_menu(key, &items)) {
        return nullptr;
    }
    return build_menu(state, items);
}

void ui_destroy_menu(UiState& state, HMENU handle)
{
    UiMenu* menu = ui_find_menu(state, handle);
    if (menu == nullptr) {
        return;
    }
    const std::vector<UiMenuItem> items = std::move(menu->items);
    state.menus.erase(key_of(handle));
    for (const UiMenuItem& item : items) {
        ui_destroy_menu(state, item.popup);
    }
}

std::vector<MenuItemView> ui_menu_view(UiState& state, HMENU handle)
{
    std::vector<MenuItemView> views;
    UiMenu* menu = ui_find_menu(state, handle);
    if (menu == nullptr) {
        return views;
    }
    for (const UiMenuItem& item : menu->items) {
        MenuItemView view;
        view.text = item.text;
        view.id = item.id;
        view.greyed = (item.state & enable_bits) != 0;
        view.checked = (item.state & MF_CHECKED) != 0;
        view.separator = item.separator;
        view.popup = item.popup != nullptr;
        view.items = ui_menu_view(state, item.popup);
        views.push_back(std::move(view));
    }
    return views;
}

bool ui_menu_command_enabled(UiState& state, HMENU handle, UINT id)
{
    const UiMenuItem* item = find_item(state, handle, id, MF_BYCOMMAND);
    return item != nullptr && (item->state & enable_bits) == 0;
}

HMENU WINAPI LoadMenuA(HINSTANCE hInstance, LPCSTR lpMenuName)
{
    (void)hInstance;
    UiLock lock;
    HMENU menu = ui_load_menu(lock.state, resource_key(lpMenuName));
    if (menu == nullptr) {
        fail_with(ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    return menu;
}

HMENU WINAPI GetMenu(HWND hWnd)
{
    UiLock lock;
    const UiWindow* window = ui_find_window(lock.state, hWnd);
    if (window == nullptr) {
        fail_with(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return window->menu;
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos)
{
    UiLock lock;
    const UiMenuItem* item =
        nPos < 0 ? nullptr : find_item(lock.state, hMenu, static_cast<UINT>(nPos), MF_BYPOSITION);
    return item != nullptr ? item->popup : nullptr;
}

BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable)
{
    UiLock lock;
    UiMenuItem* item = item_or_fail(lock.state, hMenu, uIDEnableItem, uEnable);
    if (item == nullptr) {
        return -1;
    }
    const UINT previous = item->state & enable_bits;
    item->state = (item->state & ~enable_bits) | (uEnable & enable_bits);
    lock.mark_changed();
    return static_cast<BOOL>(previous);
}

DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck)
{
    UiLock lock;
    UiMenuItem* item = item_or_fail(lock.state, hMenu, uIDCheckItem, uCheck);
    if (item == nullptr) {
        return static_cast<DWORD>(-1);
    }
    const DWORD previous = item->state & MF_CHECKED;
    item->state = (item->state & ~static_cast<UINT>(MF_CHECKED)) | (uCheck & MF_CHECKED);
    lock.mark_changed();
    return previous;
}

BOOL WINAPI ModifyMenuA(HMENU hMnu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem,
                        LPCSTR lpNewItem)
{
    UiLock lock;
    UiMenuItem* item = item_or_fail(lock.state, hMnu, uPosition, uFlags);
    if (item == nullptr) {
        return FALSE;
    }
    const bool popup = (uFlags & MF_POPUP) != 0;
    if (popup && ui_find_menu(lock.state, handle_of<HMENU>(uIDNewItem)) == nullptr) {
        return fail_with(ERROR_INVALID_MENU_HANDLE);
    }
    HMENU old_popup = item->popup;
    item->separator = (uFlags & MF_SEPARATOR) != 0;
    item->text = item->separator || lpNewItem == nullptr ? std::string() : std::string(lpNewItem);
    item->popup = popup ? handle_of<HMENU>(uIDNewItem) : nullptr;
    item->id = popup ? 0 : static_cast<UINT>(uIDNewItem);
    item->state = uFlags & (enable_bits | MF_CHECKED);
    if (old_popup != nullptr && old_popup != item->popup) {
        ui_destroy_menu(lock.state, old_popup);
    }
    lock.mark_changed();
    return TRUE;
}

BOOL WINAPI DrawMenuBar(HWND hWnd)
{
    UiLock lock;
    if (ui_find_window(lock.state, hWnd) == nullptr) {
        return fail_with(ERROR_INVALID_WINDOW_HANDLE);
    }
    lock.mark_changed();
    return TRUE;
}
