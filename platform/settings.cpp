#include "platform/settings.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

constexpr std::array<const char*, 8> variables = {
    "DURANDEX_DRIVES", "DURANDEX_CACHED_READS", "DURANDEX_TIME_SCALE", "DURANDEX_DEBUG_OUTPUT",
    "DURANDEX_EVENT_LOG", "DURANDEX_REGISTRY", "DURANDEX_UI", "DURANDEX_INSTANCE"};

struct Slot {
    bool known = false;
    std::string text;
};

struct SettingsState {
    std::mutex mutex;
    std::array<Slot, variables.size()> slots;
};

// Held by pointer so that threads still running at process exit never meet
// a destroyed state.
SettingsState& state()
{
    static auto* settings = new SettingsState();
    return *settings;
}

size_t index_of(Setting setting)
{
    return static_cast<size_t>(setting);
}

}  // namespace

const char* setting_variable(Setting setting)
{
    return variables[index_of(setting)];
}

std::string setting_text(Setting setting)
{
    SettingsState& settings = state();
    std::lock_guard<std::mutex> lock(settings.mutex);
    Slot& slot = settings.slots[index_of(setting)];
    if (!slot.known) {
        const char* value = std::getenv(setting_variable(setting));
        slot.text = value != nullptr ? value : "";
        slot.known = true;
    }
    return slot.text;
}

bool setting_cached_reads()
{
    return setting_text(Setting::CachedReads) == "1";
}

std::string setting_problem(Setting setting, const char* what, const std::string& value, const char* expected)
{
    return std::string(setting_variable(setting)) + ": malformed " + what + " \"" + value + "\": expected " +
           expected;
}

void setting_report(const std::string& problem, const char* consequence)
{
    if (consequence != nullptr) {
        std::fprintf(stderr, "%s; %s\n", problem.c_str(), consequence);
    } else {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
}

void setting_override(Setting setting, const char* text)
{
    SettingsState& settings = state();
    std::lock_guard<std::mutex> lock(settings.mutex);
    settings.slots[index_of(setting)] = Slot{true, text != nullptr ? text : ""};
}

void settings_reset()
{
    SettingsState& settings = state();
    std::lock_guard<std::mutex> lock(settings.mutex);
    settings.slots = {};
}
