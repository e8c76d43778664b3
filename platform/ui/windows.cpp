// Window classes and windows: creation, destruction, visibility, size and the
// lookup of a window by class and title.
#include <cctype>

#include "platform/errors.h"
#include "platform/ui/instance_lock.h"
#include "platform/ui/resource_store.h"
#include "platform/ui/ui_state.h"

namespace {

constexpr int caption_height_px = 20;
constexpr int menu_bar_height_px = 20;
constexpr int default_width_px = 400;
constexpr int default_height_px = 300;
// FindWindowA's answer for a window that another process shows.
constexpr uintptr_t foreign_window = 0x7D000000u;

ATOM last_atom = 0xC000;

std::string class_key(LPCSTR name)
{
    std::string key = name != nullptr ? name : "";
    for (char& ch : key) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return key;
}

bool top_level(const UiWindow& window)
{
    return (window.style & WS_CHILD) == 0;
}

void size_client(UiWindow* window)
{
    const bool caption = (window->style & WS_CAPTION) == WS_CAPTION;
    window->client_width = window->width;
    window->client_height = window->height - (caption ? caption_height_px : 0) -
                            (window->menu != nullptr ? menu_bar_height_px : 0);
    if (window->client_height < 0) {
        window->client_height = 0;
    }
    grid_resize(&window->grid, window->client_width / cell_width_px,
                rows_for_height(window->layout, window->client_height));
}

// Handles of the windows owned by, or children of, a window.
std::vector<HWND> dependants(const UiState& state, HWND window)
{
    std::vector<HWND> found;
    for (const auto& [key, candidate] : state.windows) {
        if (candidate.owner == window || candidate.parent == window) {
            found.push_back(handle_of<HWND>(key));
        }
    }
    return found;
}

void forget_window(UiState& state, HWND handle)
{
    UiWindow* window = ui_find_window(state, handle);
    if (window == nullptr) {
        return;
    }
    instance_lock_release(window->instance_lock);
    ui_destroy_menu(state, window->menu);
    ui_kill_window_timers(state, handle);
    if (state.main_window == key_of(handle)) {
        state.main_window = 0;
    }
    state.windows.erase(key_of(handle));
}

}  // namespace

HWND ui_add_window(UiState& state, UiWindow window)
{
    if (!state.has_window_thread) {
        state.has_window_thread = true;
        state.window_thread = std::this_thread::get_id();
    }
    size_client(&window);
    const uintptr_t key = ui_new_handle(state);
    if (top_level(window) && !window.dialog && state.main_window == 0) {
        state.main_window = key;
    }
    state.windows[key] = std::move(window);
    return handle_of<HWND>(key);
}

void ui_forget_all_windows(UiState& state)
{
    while (!state.windows.empty()) {
        forget_window(state, handle_of<HWND>(state.windows.begin()->first));
    }
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass)
{
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
        lpWndClass->lpszClassName[0] == '\0') {
        fail_with(ERROR_INVALID_PARAMETER);
        return 0;
    }
    UiLock lock;
    const std::string key = class_key(lpWndClass->lpszClassName);
    if (lock.state.classes.count(key) != 0) {
        fail_with(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    UiClass window_class;
    window_class.name = lpWndClass->lpszClassName;
    window_class.proc = lpWndClass->lpfnWndProc;
    window_class.background = lpWndClass->hbrBackground;
    window_class.menu_key = resource_key(lpWndClass->lpszMenuName);
    lock.state.classes[key] = window_class;
    return ++last_atom;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight,
                            HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    ui_start_backend();
    UiLock lock;
    const auto found = lock.state.classes.find(class_key(lpClassName));
    if (found == lock.state.classes.end()) {
        fail_with(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (hWndParent != nullptr && ui_find_window(lock.state, hWndParent) == nullptr) {
        fail_with(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    UiWindow window;
    window.class_name = found->second.name;
    window.title = lpWindowName != nullptr ? lpWindowName : "";
    window.style = dwStyle;
    window.proc = found->second.proc;
    const bool child = (dwStyle & WS_CHILD) != 0;
    (child ? window.parent : window.owner) = hWndParent;
    window.control_id = child ? static_cast<UINT>(key_of(hMenu)) : 0;
    window.menu = child ? nullptr : hMenu;
    if (!child && hMenu == nullptr && !found->second.menu_key.empty()) {
        window.menu = ui_load_menu(lock.state, found->second.menu_key);
    }
    window.x = X == CW_USEDEFAULT ? 0 : X;
    window.y = Y == CW_USEDEFAULT ? 0 : Y;
    window.width = nWidth == CW_USEDEFAULT ? default_width_px : nWidth;
    window.height = nHeight == CW_USEDEFAULT ? default_height_px : nHeight;
    window.visible = (dwStyle & WS_VISIBLE) != 0;
    window.layout = resource_row_layout(WindowKind::TopLevel);
    if (!child) {
        window.instance_lock = instance_lock_adopt(window.class_name, window.title);
    }
    HWND handle = ui_add_window(lock.state, std::move(window));
    lock.mark_changed();
    lock.unlock();

    CREATESTRUCTA create = {lpParam, hInstance, hMenu,       hWndParent,   nHeight,        nWidth,
                            Y,       X,         static_cast<LONG>(dwStyle), lpWindowName, lpClassName,
                            dwExStyle};
    if (ui_call_window_proc(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        fail_with(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return handle;
}

LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (Msg) {
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(hWnd, &paint) != nullptr) {
            EndPaint(hWnd, &paint);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
        }
        return 0;
    default:
        return 0;
    }
}

BOOL WINAPI DestroyWindow(HWND hWnd)
{
    std::vector<HWND> owned;
    {
        UiLock lock;
        UiWindow* window = ui_find_window(lock.state, hWnd);
        if (window == nullptr || window->destroying) {
            return fail_with(ERROR_INVALID_WINDOW_HANDLE);
        }
        window->destroying = true;
        owned = dependants(lock.state, hWnd);
    }
    for (HWND dependant : owned) {
        DestroyWindow(dependant);
    }
    ui_call_window_proc(hWnd, WM_DESTROY, 0, 0);
    UiLock lock;
    forget_window(lock.state, hWnd);
    lock.mark_changed();
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    UiLock lock;
    UiWindow* window = ui_find_window(lock.state, hWnd);
    if (window == nullptr) {
        return fail_with(ERROR_INVALID_WINDOW_HANDLE);
    }
    const BOOL was_visible = window->visible ? TRUE : FALSE;
    window->visible = nCmdShow != SW_HIDE;
    if (window->visible && !was_visible) {
        // A window that appears has everything to paint, as on Win32.
        ui_invalidate(lock.state, window, nullptr, true);
    }
    lock.mark_changed();
    return was_visible;
}

BOOL WINAPI IsWindow(HWND hWnd)
{
    UiLock lock;
    return ui_find_window(lock.state, hWnd) != nullptr ? TRUE : FALSE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags)
{
    (void)hWndInsertAfter;
    UiLock lock;
    UiWindow* window = ui_find_window(lock.state, hWnd);
    if (window == nullptr) {
        return fail_with(ERROR_INVALID_WINDOW_HANDLE);
    }
    if ((uFlags & SWP_NOMOVE) == 0) {
        window->x = X;
        window->y = Y;
    }
    if ((uFlags & SWP_NOSIZE) == 0) {
        const RECT before{0, 0, window->client_width, window->client_height};
        window->width = cx > 0 ? cx : 0;
        window->height = cy > 0 ? cy : 0;
        size_client(window);
        // What a growing window uncovers must be painted.
        const RECT below{0, before.bottom, window->client_width, window->client_height};
        const RECT right{before.right, 0, window->client_width, window->client_height};
        ui_invalidate(lock.state, window, &below, true);
        ui_invalidate(lock.state, window, &right, true);
    }
    lock.mark_changed();
    return TRUE;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    {
        UiLock lock;
        for (const auto& [key, window] : lock.state.windows) {
            const bool class_matches =
                lpClassName == nullptr || class_key(lpClassName) == class_key(window.class_name.c_str());
            const bool title_matches = lpWindowName == nullptr || window.title == lpWindowName;
            if (top_level(window) && class_matches && title_matches) {
                return handle_of<HWND>(key);
            }
        }
    }
    // Asking for a top-level window by class and title takes its instance
    // lock in the same step, so that two processes asking at once cannot
    // both be told that no such window exists. A lock that cannot be had for
    // another reason is no window, with the reason as last error.
    DWORD lock_state = ERROR_SUCCESS;
    if (lpClassName != nullptr && lpWindowName != nullptr) {
        lock_state = instance_lock_reserve(lpClassName, lpWindowName);
        if (lock_state == ERROR_ALREADY_EXISTS) {
            return handle_of<HWND>(foreign_window);
        }
    }
    SetLastError(lock_state);
    return nullptr;
}
