#include <gtest/gtest.h>

#include "engine/exception_filter.h"
#include "temp_drives.h"

namespace {

// Real in-page errors and the limit are met by the compare worker's fault
// test; here the other codes and the non-continuable verdicts.
TEST(ExceptionFilterTest, VerdictsAndLinesFollowCodeAndFlags)
{
    WorkerRig rig;
    rig.prepare_without_workers(0);
    const struct { DWORD code, flags; LONG verdict; } calls[] = {
        {0xC0000005, 0, EXCEPTION_CONTINUE_EXECUTION},
        {STATUS_IN_PAGE_ERROR, EXCEPTION_NONCONTINUABLE, EXCEPTION_EXECUTE_HANDLER},
        {STATUS_NONCONTINUABLE_EXCEPTION, 0, EXCEPTION_EXECUTE_HANDLER},
    };
    for (const auto& call : calls) {
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = call.code;
        record.ExceptionFlags = call.flags;
        EXCEPTION_POINTERS info = {&record, nullptr};
        EXPECT_EQ(filter_exception(rig.task, call.code, &info), call.verdict) << call.code;
    }
    EXPECT_EQ(rig.task->exception_count.load(), 3u);
    EXPECT_EQ(rig.log(), R"(7/3/1996, 9:05 Exception Code = c0000005
    See NTSTATUS.H for codes
    Continuable
7/3/1996, 9:05 Exception Code = c0000006
    STATUS_IN_PAGE_ERROR
    NON-CONTINUABLE
7/3/1996, 9:05 Exception Code = c0000025
    See NTSTATUS.H for codes
    NON-CONTINUABLE
)");
}

}  // namespace
