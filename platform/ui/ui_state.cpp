#include "platform/ui/ui_state.h"

UiState& ui_state()
{
    static auto* state = new UiState();
    return *state;
}

UiLock::UiLock() : state(ui_state()), guard(state.lock) {}

UiLock::~UiLock()
{
    if (!changed_) {
        return;
    }
    if (!guard.owns_lock()) {
        guard.lock();
    }
    ++state.generation;
    guard.unlock();
    ui_notify_changed();
}

void UiLock::unlock()
{
    guard.unlock();
}

uintptr_t ui_new_handle(UiState& state)
{
    state.last_handle += 4;
    return state.last_handle;
}

namespace {

template <typename Map>
auto* find_in(Map& map, uintptr_t key)
{
    auto found = map.find(key);
    return found == map.end() ? nullptr : &found->second;
}

}  // namespace

UiWindow* ui_find_window(UiState& state, HWND window)
{
    return find_in(state.windows, key_of(window));
}

UiMenu* ui_find_menu(UiState& state, HMENU menu)
{
    return find_in(state.menus, key_of(menu));
}

UiDc* ui_find_dc(UiState& state, HDC dc)
{
    return find_in(state.dcs, key_of(dc));
}

UiGdiObject* ui_find_object(UiState& state, HGDIOBJ object)
{
    return find_in(state.objects, key_of(object));
}

void ui_notify_changed()
{
    const UiBackend* backend = ui_state().backend.load(std::memory_order_acquire);
    if (backend != nullptr && backend->model_changed != nullptr) {
        backend->model_changed();
    }
}

bool ui_on_window_thread(UiState& state)
{
    return !state.has_window_thread || state.window_thread == std::this_thread::get_id();
}
