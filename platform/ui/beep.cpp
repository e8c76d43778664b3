// Beep sounds through the started backend; headless, or before any window,
// it is silent.
#include "platform/ui/ui_state.h"

BOOL WINAPI Beep(DWORD dwFreq, DWORD dwDuration)
{
    const UiBackend* backend = ui_state().backend.load(std::memory_order_acquire);
    if (backend != nullptr && backend->beep != nullptr) {
        backend->beep(dwFreq, dwDuration);
    }
    return TRUE;
}
