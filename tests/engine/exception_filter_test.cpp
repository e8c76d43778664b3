#include <gtest/gtest.h>
#include <unistd.h>

#include "compare_worker_rig.h"
#include "engine/exception_filter.h"
#include "platform/guard.h"

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

TEST_F(ExceptionFilterTest, RecoveryCountsOnceMoreAndReportsFatallyOnlyWithAnErrorCode)
{
    rig.task->state = Working;
    SetLastError(0);
    recover_from_exception(rig.task, "Non-continuable exception comparing files from %s to %s.");
    EXPECT_EQ(rig.task->error_count.load(), 2u);
    EXPECT_EQ(rig.task->state.load(), Working);
    EXPECT_EQ(rig.log(), "");

    SetLastError(ERROR_ACCESS_DENIED);
    recover_from_exception(rig.task, "Non-continuable exception copying from %s to %s.");
    const std::string message = "ERROR 5 in Non-continuable exception copying from C:\\ to D:\\.\n   Access denied.\n";
    EXPECT_EQ(rig.task->error_count.load(), 4u);
    EXPECT_EQ(rig.task->state.load(), Cleanup);
    EXPECT_EQ(rig.boxes(), std::vector<std::string>{"Durandex Error|" + message});
    EXPECT_EQ(rig.log(), rig_stamp + message);
}

// A view of a file that is then cut to nothing: reading it faults for real.
struct TruncatedViewTest : ExceptionFilterTest {
    void SetUp() override
    {
        ExceptionFilterTest::SetUp();
        path = rig.source(0);
        file = CreateFileA((rig_source_dir + "\\SRC.0").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        view = static_cast<const volatile char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(truncate(path.c_str(), 0), 0);
    }

    void TearDown() override
    {
        UnmapViewOfFile(const_cast<const char*>(view));
        CloseHandle(mapping);
        CloseHandle(file);
    }

    static void read_view(void* test) { static_cast<TruncatedViewTest*>(test)->value = static_cast<TruncatedViewTest*>(test)->view[10]; }

    // Gives the file its bytes back before the filter lets the read repeat.
    static LONG restore_then_filter(void* context, DWORD code, EXCEPTION_POINTERS* info)
    {
        auto* test = static_cast<TruncatedViewTest*>(context);
        write_native_file(test->path, std::string(243, 'r'));
        return filter_exception(test->rig.task, code, info);
    }

    std::string path;
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    const volatile char* view = nullptr;
    char value = 0;
};

TEST_F(TruncatedViewTest, ContinuedReadIsPerformedAgain)
{
    EXPECT_TRUE(run_guarded(read_view, this, restore_then_filter, this));
    EXPECT_EQ(value, 'r');
    EXPECT_EQ(rig.log(), continued);
}

TEST_F(TruncatedViewTest, TenFaultsAreContinuedTheEleventhLeavesThePass)
{
    EXPECT_FALSE(run_guarded(read_view, this, filter_task_exception, rig.task));
    EXPECT_EQ(rig.task->exception_count.load(), 11u);
    std::string expected;
    for (int fault = 0; fault < 10; ++fault) {
        expected += continued;
    }
    EXPECT_EQ(rig.log(), expected + filter_lines("c0000006", "STATUS_IN_PAGE_ERROR", "Exception Count Exceeded."));
}

}  // namespace
