#include <gtest/gtest.h>

#include "compare_worker_rig.h"
#include "engine/exception_filter.h"
#include "engine/retry.h"

namespace {

std::string filter_lines(const char* code, const char* kind, const char* verdict)
{
    return rig_stamp + "Exception Code = " + code + "\n    " + kind + "\n    " + verdict + "\n";
}

const std::string continued = filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "Continuable");

struct ExceptionFilterTest : ::testing::Test {
    void SetUp() override { rig.prepare_without_workers(1); }

    LONG filter(DWORD code, DWORD flags)
    {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = code;
        record.ExceptionFlags = flags;
        EXCEPTION_POINTERS info = {&record, nullptr};
        return filter_exception(rig.task, code, &info);
    }

    WorkerRig rig;
};

TEST_F(ExceptionFilterTest, VerdictsAndLinesFollowCodeFlagsAndTheLimit)
{
    EXPECT_EQ(filter(STATUS_IN_PAGE_ERROR, 0), EXCEPTION_CONTINUE_EXECUTION);
    EXPECT_EQ(filter(0xC0000005, 0), EXCEPTION_CONTINUE_EXECUTION);
    EXPECT_EQ(filter(STATUS_IN_PAGE_ERROR, EXCEPTION_NONCONTINUABLE), EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(filter(STATUS_NONCONTINUABLE_EXCEPTION, 0), EXCEPTION_EXECUTE_HANDLER);
    rig.task->exception_count = 9;
    EXPECT_EQ(filter(STATUS_IN_PAGE_ERROR, 0), EXCEPTION_CONTINUE_EXECUTION);
    // The limit is tested first: the eleventh says Exceeded, not NON-CONTINUABLE.
    EXPECT_EQ(filter(STATUS_IN_PAGE_ERROR, EXCEPTION_NONCONTINUABLE), EXCEPTION_EXECUTE_HANDLER);
    EXPECT_EQ(rig.task->exception_count.load(), 11u);
    EXPECT_EQ(rig.task->error_count.load(), 0u);
    EXPECT_EQ(rig.log(), continued + filter_lines("c0000005", "See NTSTATUS.H for codes", "Continuable") +
                             filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "NON-CONTINUABLE") +
                             filter_lines("c0000025", "See NTSTATUS.H for codes", "NON-CONTINUABLE") + continued +
                             filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "Exception Count Exceeded."));
}

// A copy step whose call fails with access denied for its first tries: each
// failed try is reported; the third stops the step at the cost of one more.
TEST(RetryTest, FailedTriesAreReportedAndTheThirdStopsTheStep)
{
    const std::string failed_try = rig_stamp + "ERROR 5 in copying C:\\a to D:\\b.\n   Access denied.\n";
    const struct { int failures; BOOL result; DWORD errors; std::string log; } cases[] = {
        {2, TRUE, 2, failed_try + failed_try},
        {5, FALSE, 4, failed_try + failed_try + failed_try + rig_stamp + "Retry count exceeded copying C:\\a to D:\\b.\n"}};
    for (const auto& step : cases) {
        WorkerRig rig;
        rig.prepare_without_workers(1);
        int tries = 0;
        const RetryTexts texts = {"copying %s to %s.", "Retry count exceeded copying %s to %s.\n"};
        EXPECT_EQ(retry_step(rig.task, texts, "C:\\a", "D:\\b", [&] {
                      SetLastError(ERROR_ACCESS_DENIED);
                      return ++tries > step.failures;
                  }),
                  step.result);
        EXPECT_EQ(tries, 3) << step.failures;
        EXPECT_EQ(rig.task->error_count.load(), step.errors) << step.failures;
        EXPECT_EQ(rig.log(), step.log);
    }
}

}  // namespace
