#include "platform/settings.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr std::array<const char*, 8> variables = {
    "DURANDEX_DRIVES", "DURANDEX_CACHED_READS", "DURANDEX_TIME_SCALE", "DURANDEX_DEBUG_OUTPUT",
    "DURANDEX_EVENT_LOG", "DURANDEX_REGISTRY", "DURANDEX_UI", "DURANDEX_INSTANCE"};

// Each setting's text is published once and never changed or freed: a
// reader loads the pointer and keeps the reference without a lock. The mutex
// only orders the first read of a setting against overrides and resets, and
// the texts they replace stay in `kept` for readers that still hold them.
struct SettingsState {
    std::mutex mutex;
    std::array<std::atomic<const std::string*>, variables.size()> texts{};
    std::vector<std::unique_ptr<const std::string>> kept;
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

// Under the state's mutex.
const std::string* publish(SettingsState& settings, Setting setting, const char* text)
{
    settings.kept.push_back(std::make_unique<const std::string>(text != nullptr ? text : ""));
    const std::string* published = settings.kept.back().get();
    settings.texts[index_of(setting)].store(published, std::memory_order_release);
    return published;
}

const std::string& read_once(Setting setting)
{
    SettingsState& settings = state();
    std::lock_guard<std::mutex> lock(settings.mutex);
    const std::string* text = settings.texts[index_of(setting)].load(std::memory_order_acquire);
    return text != nullptr ? *text : *publish(settings, setting, std::getenv(setting_variable(setting)));
}

}  // namespace

const char* setting_variable(Setting setting)
{
    return variables[index_of(setting)];
}

const std::string& setting_text(Setting setting)
{
    const std::string* text = state().texts[index_of(setting)].load(std::memory_order_acquire);
    return text != nullptr ? *text : read_once(setting);
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
    publish(settings, setting, text);
}

void settings_reset()
{
    SettingsState& settings = state();
    std::lock_guard<std::mutex> lock(settings.mutex);
    for (std::atomic<const std::string*>& text : settings.texts) {
        text.store(nullptr, std::memory_order_release);
    }
}
