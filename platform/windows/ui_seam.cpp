// Console control events (Ctrl+C, Ctrl+Break) ask the main window to quit,
// as SIGINT does on Linux.
#include "platform/ui_seam.h"

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<UINT> signal_command{0};
std::atomic<DWORD> window_thread{0};
std::atomic<ULONGLONG> first_request_tick{0};
std::atomic<int> second_request_status{0};

constexpr ULONGLONG same_request_milliseconds = 1000;

BOOL CALLBACK take_unowned_window(HWND window, LPARAM found)
{
    if (GetWindow(window, GW_OWNER) != nullptr) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The window thread's window without an owner: dialogs and message boxes
// are owned by it.
HWND main_window()
{
    HWND found = nullptr;
    EnumThreadWindows(window_thread.load(), take_unowned_window, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL WINAPI console_event(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    const ULONGLONG now = GetTickCount64();
    ULONGLONG first = 0;
    if (!first_request_tick.compare_exchange_strong(first, now) && now - first > same_request_milliseconds) {
        std::_Exit(second_request_status.load());
    }
    HWND window = main_window();
    if (window == nullptr) {
        std::_Exit(second_request_status.load());
    }
    PostMessageA(window, WM_COMMAND, signal_command.load(), 0);
    return TRUE;
}

}  // namespace

void ui_set_signal_command(UINT id, int second_signal_status)
{
    signal_command = id;
    second_request_status = second_signal_status;
    window_thread = GetCurrentThreadId();
    SetConsoleCtrlHandler(console_event, TRUE);
}
