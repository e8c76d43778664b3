// The Linux layer's test seams that the engine tests use, for Windows: the
// fixed calendar and process id, and observed message boxes are import table
// hooks in the test program, and so are armed failures of
// CopyFileA. The time scale and the other faults have no Windows counterpart: a test that asks for them fails
// loudly, and the ctest command leaves such tests out by name.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>

#include "import_hooks.h"
#include "platform/clock.h"
#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/ui_test_seams.h"

namespace {

std::mutex seams_lock;
bool local_time_fixed = false;
SYSTEMTIME fixed_local_time{};
std::atomic<DWORD> fixed_process_id{0};
MessageBoxObserver message_box_observer;

decltype(&GetLocalTime) system_get_local_time = nullptr;
decltype(&GetCurrentProcessId) system_get_current_process_id = nullptr;
decltype(&CopyFileA) system_copy_file = nullptr;

// The armed failures of CopyFileA: how many calls fail yet, and with what.
struct ArmedFault {
    DWORD count = 0;
    DWORD code = 0;
};
ArmedFault armed_copies;

void WINAPI hooked_get_local_time(LPSYSTEMTIME time)
{
    std::lock_guard<std::mutex> guard(seams_lock);
    if (local_time_fixed) {
        *time = fixed_local_time;
    } else {
        system_get_local_time(time);
    }
}

DWORD WINAPI hooked_get_current_process_id()
{
    const DWORD fixed = fixed_process_id.load();
    return fixed != 0 ? fixed : system_get_current_process_id();
}

BOOL WINAPI hooked_copy_file(LPCSTR existing, LPCSTR copy, BOOL fail_if_exists)
{
    DWORD code = 0;
    {
        std::lock_guard<std::mutex> guard(seams_lock);
        if (armed_copies.count > 0) {
            --armed_copies.count;
            code = armed_copies.code;
        }
    }
    if (code != 0) {
        SetLastError(code);
        return FALSE;
    }
    return system_copy_file(existing, copy, fail_if_exists);
}

// A box is answered at once, as the Linux layer's are without a terminal: a
// box waiting for a click that never comes under Wine would hang the test.
int WINAPI hooked_message_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    MessageBoxObserver observer;
    {
        std::lock_guard<std::mutex> guard(seams_lock);
        observer = message_box_observer;
    }
    if (observer) {
        observer(owner, text, caption, type);
    } else {
        std::fprintf(stderr, "message box: %s|%s\n", caption, text);
    }
    return IDOK;
}

// The hooks go in once, before the first test, and pass calls through while
// nothing is fixed. A function the program does not import is never called,
// so there is nothing to hook.
void hook(const char* function, void* replacement, void** original) { hook_import(function, replacement, original); }

const bool hooked = [] {
    hook("GetLocalTime", reinterpret_cast<void*>(hooked_get_local_time), reinterpret_cast<void**>(&system_get_local_time));
    hook("GetCurrentProcessId", reinterpret_cast<void*>(hooked_get_current_process_id),
         reinterpret_cast<void**>(&system_get_current_process_id));
    hook("CopyFileA", reinterpret_cast<void*>(hooked_copy_file), reinterpret_cast<void**>(&system_copy_file));
    void* system_message_box = nullptr;
    hook("MessageBoxA", reinterpret_cast<void*>(hooked_message_box), &system_message_box);
    return true;
}();

[[noreturn]] void unavailable(const char* seam)
{
    throw std::logic_error(std::string(seam) + " is a seam of the Linux layer only");
}

}  // namespace

void clock_fix_local_time(const SYSTEMTIME* local_time)
{
    std::lock_guard<std::mutex> guard(seams_lock);
    local_time_fixed = local_time != nullptr;
    if (local_time != nullptr) {
        fixed_local_time = *local_time;
    }
}

// Windows runs on real time: only the scale 1 is there.
void clock_set_scale(double scale)
{
    if (scale != 1.0) {
        unavailable("the clock's time scale");
    }
}

ULONGLONG clock_now_ms() { return GetTickCount64(); }

void system_fix_process_id(DWORD process_id) { fixed_process_id = process_id; }

void set_message_box_observer(MessageBoxObserver observer)
{
    std::lock_guard<std::mutex> guard(seams_lock);
    message_box_observer = std::move(observer);
}

BOOL fault_arm(const char* operation, DWORD count, DWORD code)
{
    if (std::strcmp(operation, "CopyFileA") != 0) {
        unavailable("fault injection but for CopyFileA");
    }
    std::lock_guard<std::mutex> guard(seams_lock);
    armed_copies = {count, code};
    return TRUE;
}

void fault_reset()
{
    std::lock_guard<std::mutex> guard(seams_lock);
    armed_copies = {};
}
