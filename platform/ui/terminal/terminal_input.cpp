#include "platform/ui/terminal/terminal_input.h"

#include <algorithm>

namespace {

using Actions = std::vector<TerminalAction>;

int item_count(const std::vector<MenuItemView>& items)
{
    return static_cast<int>(items.size());
}

// The next item that can be selected (not a separator) from `from` in steps
// of `step`, wrapping; -1 when there is none.
int next_selectable(const std::vector<MenuItemView>& items, int from, int step)
{
    const int count = item_count(items);
    for (int tried = 0; tried < count; ++tried) {
        from = ((from + step) % count + count) % count;
        if (!items[from].separator) {
            return from;
        }
    }
    return -1;
}

void close_menu(TerminalState& state)
{
    state.menu = MenuCursor{};
}

// The items of the deepest open level: the deepest pop-up, or the bar.
const std::vector<MenuItemView>* deepest_items(const TerminalState& state, const WindowView& main)
{
    if (state.menu.path.empty()) {
        return &main.menu;
    }
    return popup_items(main, state.menu, static_cast<int>(state.menu.path.size()) - 1);
}

void open_popup_below(TerminalState& state, const MenuItemView& item)
{
    state.menu.path.push_back(next_selectable(item.items, -1, 1));
}

Actions choose_command(TerminalState& state, const WindowView& main, const MenuItemView& item)
{
    if (item.greyed) {
        return {};
    }
    close_menu(state);
    TerminalAction action{ActionKind::ChooseMenuItem};
    action.window = main.handle;
    action.id = item.id;
    return {action};
}

// Enter on a bar item: opens its pop-up or carries out its command.
Actions enter_bar_item(TerminalState& state, const WindowView& main, int index)
{
    const MenuItemView& item = main.menu[index];
    if (!item.popup) {
        return choose_command(state, main, item);
    }
    state.menu.active = true;
    state.menu.bar = index;
    state.menu.path.clear();
    open_popup_below(state, item);
    return {};
}

// Enter on an item of the deepest open pop-up.
Actions enter_popup_item(TerminalState& state, const WindowView& main, int index)
{
    const std::vector<MenuItemView>* items = deepest_items(state, main);
    if (items == nullptr || index < 0 || index >= item_count(*items)) {
        return {};
    }
    const MenuItemView& item = (*items)[index];
    state.menu.path.back() = index;
    if (item.separator) {
        return {};
    }
    if (item.popup) {
        open_popup_below(state, item);
        return {};
    }
    return choose_command(state, main, item);
}

Actions enter_selected(TerminalState& state, const WindowView& main)
{
    if (state.menu.path.empty()) {
        return enter_bar_item(state, main, state.menu.bar);
    }
    return enter_popup_item(state, main, state.menu.path.back());
}

// A mnemonic at the deepest open level; nothing when no item has it.
Actions choose_by_mnemonic(TerminalState& state, const WindowView& main, char key)
{
    const std::vector<MenuItemView>* items = deepest_items(state, main);
    if (items == nullptr) {
        return {};
    }
    for (int i = 0; i < item_count(*items); ++i) {
        if (!(*items)[i].separator && matches_mnemonic((*items)[i].text, key)) {
            if (state.menu.path.empty()) {
                return enter_bar_item(state, main, i);
            }
            return enter_popup_item(state, main, i);
        }
    }
    return {};
}

void move_vertically(TerminalState& state, const WindowView& main, int step)
{
    if (state.menu.path.empty()) {
        if (main.menu[state.menu.bar].popup) {
            open_popup_below(state, main.menu[state.menu.bar]);
        }
        return;
    }
    const std::vector<MenuItemView>* items = deepest_items(state, main);
    if (items != nullptr && !items->empty()) {
        state.menu.path.back() = next_selectable(*items, state.menu.path.back(), step);
    }
}

// Left and Right walk the bar; a pop-up that was open opens on the new item.
void move_along_bar(TerminalState& state, const WindowView& main, int step)
{
    const bool was_open = !state.menu.path.empty();
    const int count = item_count(main.menu);
    state.menu.bar = ((state.menu.bar + step) % count + count) % count;
    state.menu.path.clear();
    if (was_open && main.menu[state.menu.bar].popup) {
        open_popup_below(state, main.menu[state.menu.bar]);
    }
}

void move_right(TerminalState& state, const WindowView& main)
{
    const std::vector<MenuItemView>* items = deepest_items(state, main);
    const int selected = state.menu.path.empty() ? -1 : state.menu.path.back();
    if (items != nullptr && selected >= 0 && selected < item_count(*items) &&
        (*items)[selected].popup) {
        open_popup_below(state, (*items)[selected]);
        return;
    }
    move_along_bar(state, main, 1);
}

void move_left(TerminalState& state, const WindowView& main)
{
    if (state.menu.path.size() > 1) {
        state.menu.path.pop_back();
        return;
    }
    move_along_bar(state, main, -1);
}

Actions handle_menu_key(TerminalState& state, const WindowView& main, const TerminalKey& key)
{
    switch (key.kind) {
    case KeyKind::Escape:
        if (state.menu.path.empty()) {
            close_menu(state);
        } else {
            state.menu.path.pop_back();
        }
        return {};
    case KeyKind::F10:
        close_menu(state);
        return {};
    case KeyKind::Up:
        move_vertically(state, main, -1);
        return {};
    case KeyKind::Down:
        move_vertically(state, main, 1);
        return {};
    case KeyKind::Left:
        move_left(state, main);
        return {};
    case KeyKind::Right:
        move_right(state, main);
        return {};
    case KeyKind::Enter:
    case KeyKind::Space:
        return enter_selected(state, main);
    case KeyKind::Char:
        return choose_by_mnemonic(state, main, key.ch);
    case KeyKind::AltChar:
        // Alt always speaks to the bar, whatever pop-up is open.
        state.menu.path.clear();
        return choose_by_mnemonic(state, main, key.ch);
    default:
        return {};
    }
}

TerminalAction post_to(HWND window, UINT message, WPARAM wparam)
{
    TerminalAction action{ActionKind::PostMessage};
    action.window = window;
    action.message = message;
    action.wparam = wparam;
    return action;
}

bool virtual_key_of(KeyKind kind, WPARAM& key)
{
    switch (kind) {
    case KeyKind::Escape:
        key = VK_ESCAPE;
        return true;
    case KeyKind::Enter:
        key = VK_RETURN;
        return true;
    case KeyKind::Space:
        key = VK_SPACE;
        return true;
    case KeyKind::Tab:
    case KeyKind::BackTab:
        key = VK_TAB;
        return true;
    default:
        return false;
    }
}

// Keys for a dialog go to its window; the message loop's dialog handling
// turns them into its commands.
Actions handle_dialog_key(const WindowView& dialog, const TerminalKey& key)
{
    if (key.kind == KeyKind::Char) {
        return {post_to(dialog.handle, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(key.ch)))};
    }
    WPARAM virtual_key = 0;
    if (virtual_key_of(key.kind, virtual_key)) {
        return {post_to(dialog.handle, WM_KEYDOWN, virtual_key)};
    }
    return {};
}

// Alt+F4 closes the active window: a dialog as its Escape does, the main
// window through WM_CLOSE.
Actions close_active_window(TerminalState& state, const UiView& view)
{
    close_menu(state);
    const WindowView* active = window_in(view, state.active);
    if (active == nullptr) {
        return {};
    }
    if (active->dialog) {
        return {post_to(active->handle, WM_KEYDOWN, VK_ESCAPE)};
    }
    return {post_to(active->handle, WM_CLOSE, 0)};
}

Actions handle_idle_key(TerminalState& state, const UiView& view, const TerminalKey& key)
{
    const WindowView* main = main_window_of(view);
    const WindowView* active = window_in(view, state.active);
    const bool has_menu = main != nullptr && !main->menu.empty();
    if (key.kind == KeyKind::F10 && has_menu) {
        state.menu = MenuCursor{true, 0, {}};
        return {};
    }
    if (active != nullptr && active->dialog && key.kind != KeyKind::AltChar) {
        return handle_dialog_key(*active, key);
    }
    if ((key.kind == KeyKind::Char || key.kind == KeyKind::AltChar) && has_menu) {
        return choose_by_mnemonic(state, *main, key.ch);
    }
    return {};
}

TerminalAction answer_box(const TerminalState& state, int answer)
{
    TerminalAction action{ActionKind::AnswerBox};
    action.serial = state.box_serial;
    action.answer = answer;
    return action;
}

Actions handle_box_key(TerminalState& state, const MessageBoxView& box, const TerminalKey& key)
{
    const std::vector<int> answers = box_answers(box.type);
    const int count = static_cast<int>(answers.size());
    switch (key.kind) {
    case KeyKind::Enter:
    case KeyKind::Space:
        return {answer_box(state, answers[std::clamp(state.box_button, 0, count - 1)])};
    case KeyKind::Escape: {
        // A box with a Cancel button is cancelled; an OK-only box is answered OK.
        const bool can_cancel = std::find(answers.begin(), answers.end(), IDCANCEL) != answers.end();
        return {answer_box(state, can_cancel ? IDCANCEL : IDOK)};
    }
    case KeyKind::Tab:
    case KeyKind::Right:
        state.box_button = (state.box_button + 1) % count;
        return {};
    case KeyKind::BackTab:
    case KeyKind::Left:
        state.box_button = (state.box_button + count - 1) % count;
        return {};
    default:
        return {};
    }
}

const Hit* hit_at(const std::vector<Hit>& hits, int column, int row)
{
    for (auto hit = hits.rbegin(); hit != hits.rend(); ++hit) {
        if (column >= hit->left && column < hit->left + hit->cols && row >= hit->top &&
            row < hit->top + hit->rows) {
            return &*hit;
        }
    }
    return nullptr;
}

Actions click_bar_item(TerminalState& state, const WindowView& main, int index)
{
    if (state.menu.active && state.menu.bar == index && !state.menu.path.empty()) {
        close_menu(state);
        return {};
    }
    return enter_bar_item(state, main, index);
}

Actions click_popup_item(TerminalState& state, const WindowView& main, const Hit& hit)
{
    if (hit.level >= static_cast<int>(state.menu.path.size())) {
        return {};
    }
    state.menu.path.resize(static_cast<size_t>(hit.level) + 1);
    return enter_popup_item(state, main, hit.index);
}

Actions click_in_window(TerminalState& state, const Hit& hit)
{
    state.active = hit.window;
    if (hit.kind != HitKind::Control) {
        return {};
    }
    TerminalAction action{ActionKind::PressButton};
    action.window = hit.window;
    action.control = hit.control;
    return {action};
}

// Drops the parts of the open menu that the model no longer has.
void follow_menu(TerminalState& state, const WindowView* main)
{
    if (!state.menu.active) {
        return;
    }
    if (main == nullptr || state.menu.bar < 0 || state.menu.bar >= item_count(main->menu)) {
        close_menu(state);
        return;
    }
    for (size_t level = 0; level < state.menu.path.size(); ++level) {
        const std::vector<MenuItemView>* items = popup_items(*main, state.menu, static_cast<int>(level));
        if (items == nullptr) {
            state.menu.path.resize(level);
            return;
        }
        int& selected = state.menu.path[level];
        if (selected >= item_count(*items)) {
            selected = next_selectable(*items, -1, 1);
        }
    }
}

void follow_windows(TerminalState& state, const UiView& view)
{
    std::vector<HWND> now;
    for (const WindowView& window : view.windows) {
        now.push_back(window.handle);
        const bool is_new =
            std::find(state.seen_windows.begin(), state.seen_windows.end(), window.handle) ==
            state.seen_windows.end();
        if (is_new && window.dialog) {
            state.active = window.handle;
        }
    }
    state.seen_windows = now;
    if (window_in(view, state.active) == nullptr) {
        const WindowView* main = main_window_of(view);
        state.active = main != nullptr ? main->handle : nullptr;
    }
}

}  // namespace

void follow_view(TerminalState& state, const UiView& view)
{
    follow_windows(state, view);
    follow_menu(state, main_window_of(view));
    if (view.boxes.empty()) {
        state.box_serial = 0;
        state.box_button = 0;
    } else if (view.boxes.front().serial != state.box_serial) {
        state.box_serial = view.boxes.front().serial;
        state.box_button = 0;
    }
}

std::vector<TerminalAction> handle_key(TerminalState& state, const UiView& view,
                                       const TerminalKey& key)
{
    if (key.kind == KeyKind::Interrupt) {
        return {TerminalAction{ActionKind::Interrupt}};
    }
    if (!view.boxes.empty()) {
        return handle_box_key(state, view.boxes.front(), key);
    }
    if (key.kind == KeyKind::AltF4) {
        return close_active_window(state, view);
    }
    const WindowView* main = main_window_of(view);
    if (state.menu.active && main != nullptr && !main->menu.empty()) {
        return handle_menu_key(state, *main, key);
    }
    return handle_idle_key(state, view, key);
}

std::vector<TerminalAction> handle_click(TerminalState& state, const UiView& view,
                                         const std::vector<Hit>& hits, int column, int row)
{
    const Hit* hit = hit_at(hits, column, row);
    if (!view.boxes.empty()) {
        if (hit != nullptr && hit->kind == HitKind::BoxButton) {
            return {answer_box(state, hit->answer)};
        }
        return {};
    }
    const WindowView* main = main_window_of(view);
    if (hit == nullptr || main == nullptr) {
        close_menu(state);
        return {};
    }
    switch (hit->kind) {
    case HitKind::BarItem:
        if (hit->index < item_count(main->menu)) {
            return click_bar_item(state, *main, hit->index);
        }
        return {};
    case HitKind::PopupItem:
        return click_popup_item(state, *main, *hit);
    case HitKind::Control:
    case HitKind::Window:
        if (state.menu.active) {
            close_menu(state);
            return {};
        }
        return click_in_window(state, *hit);
    case HitKind::BoxButton:
        break;
    }
    return {};
}
