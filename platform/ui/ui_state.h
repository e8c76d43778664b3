// The window system's model: windows, classes, menus, device contexts, GDI
// objects, the message queue, timers and pending message boxes, all guarded by
// the one ui lock. Internal to platform/ui.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/ui/cell_grid.h"
#include "platform/win32.h"

struct UiClass {
    std::string name;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    std::string menu_key;  // empty without a class menu
};

struct UiMenuItem {
    std::string text;
    UINT id = 0;
    UINT state = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED
    HMENU popup = nullptr;
    bool separator = false;
};

struct UiMenu {
    std::vector<UiMenuItem> items;
};

struct UiWindow {
    std::string class_name;
    std::string title;
    DWORD style = 0;
    WNDPROC proc = nullptr;
    DLGPROC dialog_proc = nullptr;
    HWND parent = nullptr;  // a control's dialog
    HWND owner = nullptr;
    HMENU menu = nullptr;
    UINT control_id = 0;
    // Outer rectangle and client size in pixels.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int client_width = 0;
    int client_height = 0;
    RowLayout layout = plain_row_layout();
    CellGrid grid;
    bool visible = false;
    bool dialog = false;
    bool destroying = false;
    bool update_pending = false;
    bool erase_pending = false;
    RECT update = {};
    HWND focus = nullptr;  // a dialog's focused button
    int instance_lock = -1;
};

enum class GdiKind { Pen, Bitmap };

struct UiGdiObject {
    GdiKind kind = GdiKind::Pen;
    bool stock = false;
    // Bitmaps: the pixel size and the art, whose rows split the height evenly.
    int pixel_width = 0;
    int pixel_height = 0;
    CellGrid art;
};

struct UiDc {
    HWND window = nullptr;  // null: the screen or memory, which draw nowhere
    bool memory = false;
    COLORREF text = 0x000000;
    COLORREF back = 0xFFFFFF;
    HGDIOBJ bitmap = nullptr;
    HGDIOBJ pen = nullptr;
    POINT position = {};
};

struct UiTimer {
    HWND window = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    TIMERPROC proc = nullptr;
    ULONGLONG due = 0;
};

struct SentMessage {
    MSG msg = {};
    LRESULT result = 0;
    bool done = false;
};

struct PendingBox {
    MessageBoxView view;
    int answer = 0;
    bool answered = false;
};

struct UiState {
    std::mutex lock;
    std::condition_variable queue_changed;
    std::condition_variable box_answered;
    uintptr_t last_handle = 0x10000;
    std::map<uintptr_t, UiWindow> windows;
    std::map<std::string, UiClass> classes;
    std::map<uintptr_t, UiMenu> menus;
    std::map<uintptr_t, UiDc> dcs;
    std::map<uintptr_t, UiGdiObject> objects;
    uintptr_t stock_bitmap = 0;
    uintptr_t stock_pen = 0;
    std::deque<MSG> posted;
    std::deque<SentMessage*> sent;
    std::vector<UiTimer> timers;
    std::deque<PendingBox*> boxes;
    bool quit_pending = false;
    int quit_code = 0;
    bool has_window_thread = false;
    std::thread::id window_thread;
    HCURSOR cursor = nullptr;
    std::map<std::string, uintptr_t> icons;  // by resource key
    uintptr_t main_window = 0;  // the first top-level window, while it lives
    uint64_t generation = 0;
    std::atomic<const UiBackend*> backend{nullptr};  // started backend
};

// Lives until the process ends: workers may still draw while it exits.
UiState& ui_state();

// Holds the ui lock. A change marked on it bumps the generation and, once
// the lock is released, tells the backend.
class UiLock {
public:
    UiLock();
    ~UiLock();
    UiLock(const UiLock&) = delete;
    UiLock& operator=(const UiLock&) = delete;
    void mark_changed() { changed_ = true; }
    void unlock();
    void relock() { guard.lock(); }
    UiState& state;
    std::unique_lock<std::mutex> guard;

private:
    bool changed_ = false;
};

// Handle values are never reused, so a stale handle finds nothing.
uintptr_t ui_new_handle(UiState& state);

inline uintptr_t key_of(const void* handle)
{
    return reinterpret_cast<uintptr_t>(handle);
}

template <typename Handle>
Handle handle_of(uintptr_t key)
{
    return reinterpret_cast<Handle>(key);
}

// With the lock held; null when the handle is not live.
UiWindow* ui_find_window(UiState& state, HWND window);
UiMenu* ui_find_menu(UiState& state, HMENU menu);
UiDc* ui_find_dc(UiState& state, HDC dc);
UiGdiObject* ui_find_object(UiState& state, HGDIOBJ object);

// Without the lock: the started backend hears of a change.
void ui_notify_changed();

// True on the thread that owns the queue (or before any window exists).
bool ui_on_window_thread(UiState& state);

// With the lock held: a context that draws into the window (null: nowhere).
HDC ui_open_dc(UiState& state, HWND window);
// The tone that cells drawn with these colours show.
CellTone ui_tone_for(COLORREF text, COLORREF back);
// With the lock held: blanks the cells of a client rectangle in pixels.
void ui_erase_pixels(UiWindow* window, const RECT& rect);
// With the lock held: adds a client rectangle (null: all of it) to the
// window's invalid region and wakes the queue for WM_PAINT.
void ui_invalidate(UiState& state, UiWindow* window, const RECT* rect, bool erase);
// With the lock held: the wait cursor is set.
bool ui_cursor_busy(const UiState& state);

// Menus, with the lock held. ui_load_menu gives null for an unknown key.
HMENU ui_load_menu(UiState& state, const std::string& key);
void ui_destroy_menu(UiState& state, HMENU menu);
std::vector<MenuItemView> ui_menu_view(UiState& state, HMENU menu);
bool ui_menu_command_enabled(UiState& state, HMENU menu, UINT id);

// Windows, with the lock held. ui_add_window makes the calling thread the
// window thread when it is the first.
HWND ui_add_window(UiState& state, UiWindow window);
void ui_forget_all_windows(UiState& state);
void ui_kill_window_timers(UiState& state, HWND window);

// Without the lock: the window's procedure (or the dialog's) for a message.
LRESULT ui_call_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT ui_dialog_window_proc(HWND dialog, DLGPROC proc, UINT message, WPARAM wparam,
                              LPARAM lparam);

// Chooses and starts the backend once (again after ui_reset).
void ui_start_backend();

// Timers, with the lock held.
ULONGLONG ui_next_timer_due(const UiState& state);
// The earliest due timer as WM_TIMER (for the window, or any when null),
// rescheduled a period from now.
bool ui_take_due_timer(UiState& state, ULONGLONG now, HWND filter, MSG* message);
