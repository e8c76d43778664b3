#include <gtest/gtest.h>

#include "compare_worker_rig.h"
#include "engine/retry.h"

namespace {

// A copy step whose call fails with access denied for its first tries.
struct RetryTest : ::testing::Test {
    void SetUp() override { rig.prepare_without_workers(1); }

    BOOL run_step(int failures)
    {
        const RetryTexts texts = {"copying %s to %s.", "Retry count exceeded copying %s to %s.\n"};
        return retry_step(rig.task, texts, "C:\\a", "D:\\b", [this, failures] {
            SetLastError(ERROR_ACCESS_DENIED);
            return ++tries > failures;
        });
    }

    WorkerRig rig;
    int tries = 0;
    const std::string failed_try = rig_stamp + "ERROR 5 in copying C:\\a to D:\\b.\n   Access denied.\n";
};

TEST_F(RetryTest, TwoFailuresThenSuccessGiveTwoReportsAndNoExceededLine)
{
    EXPECT_TRUE(run_step(2));
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(rig.task->error_count.load(), 2u);
    EXPECT_EQ(rig.log(), failed_try + failed_try);
}

TEST_F(RetryTest, ThreeFailuresStopAndCostFourErrors)
{
    EXPECT_FALSE(run_step(5));
    EXPECT_EQ(tries, 3);
    EXPECT_EQ(rig.task->error_count.load(), 4u);
    EXPECT_EQ(rig.log(), failed_try + failed_try + failed_try + rig_stamp +
                             "Retry count exceeded copying C:\\a to D:\\b.\n");
}

}  // namespace
