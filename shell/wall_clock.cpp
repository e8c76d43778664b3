#include "shell/wall_clock.h"

#include "records/run_settings.h"
#include "records/window_settings.h"

namespace {

constexpr DWORD poll_ms = 1000;

DWORD WINAPI wall_clock_limit(LPVOID parameter)
{
    const ULONGLONG limit_seconds = 60ull * static_cast<DWORD>(reinterpret_cast<UINT_PTR>(parameter));
    // Seconds are taken from the tick count before they are subtracted, so a
    // wrap of the 32-bit count only ends the wait early, never makes it
    // longer.
    const DWORD start = GetTickCount() / 1000;
    DWORD now = start;
    while (static_cast<DWORD>(now - start) < limit_seconds) {
        now = GetTickCount() / 1000;
        Sleep(poll_ms);
    }
    PostMessageA(run_settings.main_window.load(), WM_COMMAND, MAKEWPARAM(command_quit, 0), 0);
    return 0;
}

}  // namespace

void start_wall_clock_limit(DWORD minutes)
{
    // Inheritable, with no descriptor, and not kept: nothing waits for it.
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    DWORD id = 0;
    HANDLE thread = CreateThread(&attributes, 0, wall_clock_limit,
                                 reinterpret_cast<LPVOID>(static_cast<UINT_PTR>(minutes)), 0, &id);
    CloseHandle(thread);
}
