// Which backend draws: DURANDEX_UI=headless or terminal, or else the terminal
// when standard output is one.
#include <unistd.h>

#include <mutex>
#include <string>

#include "platform/settings.h"
#include "platform/ui/ui_state.h"

namespace {

std::mutex start_mutex;
const UiBackend* replacement = nullptr;

const UiBackend* choose_backend()
{
    const std::string setting = setting_text(Setting::Ui);
    if (setting == "headless") {
        return headless_backend();
    }
    if (setting == "terminal") {
        return terminal_backend();
    }
    if (!setting.empty()) {
        setting_report(setting_problem(Setting::Ui, "value", setting, "headless or terminal"),
                       "the terminal is used when standard output is one");
    }
    return isatty(STDOUT_FILENO) != 0 ? terminal_backend() : headless_backend();
}

}  // namespace

const UiBackend* ui_backend()
{
    static const UiBackend* const chosen = choose_backend();
    return chosen;
}

void ui_start_backend()
{
    std::lock_guard<std::mutex> guard(start_mutex);
    UiState& state = ui_state();
    if (state.backend.load(std::memory_order_acquire) != nullptr) {
        return;
    }
    const UiBackend* backend = replacement != nullptr ? replacement : ui_backend();
    if (backend->start != nullptr) {
        backend->start();
    }
    state.backend.store(backend, std::memory_order_release);
}

void ui_use_backend(const UiBackend* backend)
{
    std::lock_guard<std::mutex> guard(start_mutex);
    replacement = backend;
}
