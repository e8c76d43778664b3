#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/settings.h"

namespace {

TEST(SettingsTest, EachIsReadOnceUntilResetAndOverridesWin)
{
    const Setting all[] = {Setting::Drives,   Setting::CachedReads, Setting::TimeScale, Setting::DebugOutput,
                           Setting::EventLog, Setting::Registry,    Setting::Ui,        Setting::Instance};
    for (Setting setting : all) {
        const char* variable = setting_variable(setting);
        SCOPED_TRACE(variable);
        setenv(variable, "first", 1);
        EXPECT_EQ(setting_text(setting), "first");
        setenv(variable, "second", 1);
        EXPECT_EQ(setting_text(setting), "first");
        setting_override(setting, "replaced");
        EXPECT_EQ(setting_text(setting), "replaced");
        settings_reset();
        EXPECT_EQ(setting_text(setting), "second");
        unsetenv(variable);
        setting_override(setting, nullptr);
        EXPECT_EQ(setting_text(setting), "");
    }
}

}  // namespace
