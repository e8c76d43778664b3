#include "platform/ui/terminal/terminal_view.h"

#include <cctype>

namespace {

constexpr UINT box_buttons_mask = 0x0000000F;

}  // namespace

const WindowView* main_window_of(const UiView& view)
{
    for (const WindowView& window : view.windows) {
        if (!window.dialog) {
            return &window;
        }
    }
    return nullptr;
}

const WindowView* window_in(const UiView& view, HWND handle)
{
    for (const WindowView& window : view.windows) {
        if (window.handle == handle) {
            return &window;
        }
    }
    return nullptr;
}

const std::vector<MenuItemView>* popup_items(const WindowView& main, const MenuCursor& cursor,
                                             int level)
{
    if (!cursor.active || level < 0 || level >= static_cast<int>(cursor.path.size()) ||
        cursor.bar < 0 || cursor.bar >= static_cast<int>(main.menu.size())) {
        return nullptr;
    }
    const MenuItemView* owner = &main.menu[cursor.bar];
    for (int depth = 0; depth < level; ++depth) {
        const int index = cursor.path[depth];
        if (index < 0 || index >= static_cast<int>(owner->items.size())) {
            return nullptr;
        }
        owner = &owner->items[index];
    }
    return owner->popup ? &owner->items : nullptr;
}

MenuLabel menu_label(const std::string& text)
{
    MenuLabel label;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\t') {
            break;
        }
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && label.mnemonic_at < 0) {
                label.mnemonic_at = static_cast<int>(label.text.size());
            }
        }
        label.text += text[i];
    }
    return label;
}

bool matches_mnemonic(const std::string& text, char key)
{
    const MenuLabel label = menu_label(text);
    if (label.mnemonic_at < 0) {
        return false;
    }
    const auto mnemonic = static_cast<unsigned char>(label.text[label.mnemonic_at]);
    return std::tolower(mnemonic) == std::tolower(static_cast<unsigned char>(key));
}

std::vector<int> box_answers(UINT type)
{
    if ((type & box_buttons_mask) == MB_OKCANCEL) {
        return {IDOK, IDCANCEL};
    }
    return {IDOK};
}
