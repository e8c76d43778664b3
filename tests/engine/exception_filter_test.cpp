#include <gtest/gtest.h>

#include "engine/exception_filter.h"
#include "temp_drives.h"

namespace {

std::string filter_lines(const char* code, const char* kind, const char* verdict)
{
    return rig_stamp + "Exception Code = " + code + "\n    " + kind + "\n    " + verdict + "\n";
}

// The limit is tested first: the eleventh says Exceeded, not NON-CONTINUABLE.
TEST(ExceptionFilterTest, VerdictsAndLinesFollowCodeFlagsAndTheLimit)
{
    WorkerRig rig;
    rig.prepare_without_workers(0);
    const struct { DWORD code, flags, count_before; LONG verdict; } calls[] = {
        {STATUS_IN_PAGE_ERROR, 0, 0, EXCEPTION_CONTINUE_EXECUTION},
        {0xC0000005, 0, 1, EXCEPTION_CONTINUE_EXECUTION},
        {STATUS_IN_PAGE_ERROR, EXCEPTION_NONCONTINUABLE, 2, EXCEPTION_EXECUTE_HANDLER},
        {STATUS_NONCONTINUABLE_EXCEPTION, 0, 3, EXCEPTION_EXECUTE_HANDLER},
        {STATUS_IN_PAGE_ERROR, 0, 9, EXCEPTION_CONTINUE_EXECUTION},
        {STATUS_IN_PAGE_ERROR, EXCEPTION_NONCONTINUABLE, 10, EXCEPTION_EXECUTE_HANDLER},
    };
    for (const auto& call : calls) {
        rig.task->exception_count = call.count_before;
        EXCEPTION_RECORD record = {};
        record.ExceptionCode = call.code;
        record.ExceptionFlags = call.flags;
        EXCEPTION_POINTERS info = {&record, nullptr};
        EXPECT_EQ(filter_exception(rig.task, call.code, &info), call.verdict) << call.count_before;
        EXPECT_EQ(rig.task->exception_count.load(), call.count_before + 1);
    }
    EXPECT_EQ(rig.task->error_count.load(), 0u);
    EXPECT_EQ(rig.log(), filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "Continuable") +
                             filter_lines("c0000005", "See NTSTATUS.H for codes", "Continuable") +
                             filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "NON-CONTINUABLE") +
                             filter_lines("c0000025", "See NTSTATUS.H for codes", "NON-CONTINUABLE") +
                             filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "Continuable") +
                             filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "Exception Count Exceeded."));
}

}  // namespace
