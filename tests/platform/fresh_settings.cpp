// Every test starts from the environment as it sets it: what an earlier test
// read or overrode is forgotten.
#include <gtest/gtest.h>

#include "platform/settings.h"

namespace {

struct FreshSettings : ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { settings_reset(); }
};

const bool installed = (::testing::UnitTest::GetInstance()->listeners().Append(new FreshSettings), true);

}  // namespace
