#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/settings.h"

namespace {

// Each setting is read from the environment at its first use and kept: a
// later change of the environment is not seen until the settings are reset.
TEST(Settings, EachIsReadOnceAtItsFirstUse)
{
    setenv("DURANDEX_CACHED_READS", "0", 1);
    EXPECT_FALSE(setting_cached_reads());
    setenv("DURANDEX_CACHED_READS", "1", 1);
    setenv("DURANDEX_DEBUG_OUTPUT", "-", 1);
    EXPECT_FALSE(setting_cached_reads());
    EXPECT_EQ(setting_text(Setting::DebugOutput), "-") << "a setting not used yet is read when first used";
    settings_reset();
    EXPECT_TRUE(setting_cached_reads());
    unsetenv("DURANDEX_CACHED_READS");
    unsetenv("DURANDEX_DEBUG_OUTPUT");
}

// Readers on other threads see each override, take no lock, and a text a
// reader holds stays whole after it was replaced (the tsan build checks the
// races).
TEST(Settings, OverridesReachReadersOnOtherThreadsAndHeldTextsStayWhole)
{
    setting_override(Setting::DebugOutput, "/kept/while/replaced");
    const std::string& held = setting_text(Setting::DebugOutput);
    std::atomic<bool> done{false};
    std::atomic<int> seen_on[2] = {{-1}, {-1}};
    std::vector<std::thread> readers;
    for (std::atomic<int>& seen : seen_on) {
        readers.emplace_back([&done, &seen] {
            while (!done.load()) {
                const bool cached = setting_cached_reads();
                EXPECT_FALSE(setting_text(Setting::DebugOutput).empty());
                seen.store(cached ? 1 : 0);
            }
        });
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int rounds_seen = 0;
    bool in_time = true;
    while (in_time && rounds_seen < 40) {
        const int wanted = rounds_seen % 2;
        setting_override(Setting::CachedReads, wanted == 1 ? "1" : "0");
        setting_override(Setting::DebugOutput, wanted == 1 ? "/one" : "/zero");
        for (std::atomic<int>& seen : seen_on) {
            while (in_time && seen.exchange(-1) != wanted) {
                in_time = std::chrono::steady_clock::now() < deadline;
                std::this_thread::yield();
            }
        }
        rounds_seen += in_time ? 1 : 0;
    }
    done.store(true);
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(rounds_seen, 40) << "an override went unseen by a reader";
    EXPECT_EQ(held, "/kept/while/replaced");
    EXPECT_EQ(setting_text(Setting::DebugOutput), "/one");
}

}  // namespace
