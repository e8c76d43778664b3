#include <cstdio>
#include <mutex>

#include "platform/ui_seam.h"
#include "platform/win32.h"

namespace {

std::mutex observer_mutex;
MessageBoxObserver& current_observer()
{
    static auto* observer = new MessageBoxObserver();
    return *observer;
}

}  // namespace

void set_message_box_observer(MessageBoxObserver observer)
{
    std::lock_guard<std::mutex> lock(observer_mutex);
    current_observer() = std::move(observer);
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    MessageBoxObserver observer;
    {
        std::lock_guard<std::mutex> lock(observer_mutex);
        observer = current_observer();
    }
    if (observer) {
        observer(hWnd, lpText, lpCaption, uType);
    }
    std::fprintf(stderr, "%s: %s\n", lpCaption != nullptr ? lpCaption : "Error",
                 lpText != nullptr ? lpText : "");
    return IDOK;
}
