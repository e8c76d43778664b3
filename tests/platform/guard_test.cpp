// The guard on one thread: what the filter is shown, what each verdict does,
// and guards inside guards. Every fault here is real: a read of a page cut
// off under a mapped view.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "platform/guard.h"
#include "tests/platform/guard_truncated_view.h"

namespace {

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(view.ready()) << "cannot make a truncated mapped file"; }

    TruncatedView view;
};

TEST_F(GuardTest, PassWithoutFaultRunsToItsEndWithoutTheFilter)
{
    ReadPass pass;
    pass.address = view.intact_byte();
    FaultLog log;

    EXPECT_EQ(run_guarded(read_one_byte, &pass, logging_filter, &log), TRUE);
    EXPECT_TRUE(pass.finished);
    EXPECT_EQ(pass.value, 'a');
    EXPECT_EQ(log.calls, 0);
}

TEST_F(GuardTest, ReadOfTruncatedPageReachesFilterAsInPageError)
{
    ReadPass pass;
    pass.address = view.lost_byte();
    FaultLog log;

    EXPECT_EQ(run_guarded(read_one_byte, &pass, logging_filter, &log), FALSE);

    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.code, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionCode, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionFlags, 0u) << "an in-page error is continuable";
    EXPECT_EQ(log.record.NumberParameters, 3u);
    EXPECT_EQ(log.record.ExceptionInformation[0], 0u) << "a read";
    EXPECT_EQ(log.record.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(pass.address));
    EXPECT_EQ(log.record.ExceptionInformation[2], 0xC000009Cu) << "device data error";
    EXPECT_NE(log.record.ExceptionAddress, nullptr);
    EXPECT_NE(log.record.ExceptionAddress, static_cast<const volatile void*>(pass.address))
        << "the address of the record is the instruction, not the data";
    EXPECT_TRUE(log.context_record_null);
    EXPECT_FALSE(pass.finished);
}

TEST_F(GuardTest, EachContinueRepeatsTheAccessUntilTheHandlerIsChosen)
{
    ReadPass pass;
    pass.address = view.lost_byte();
    FaultLog log;
    log.continues = 3;

    EXPECT_EQ(run_guarded(read_one_byte, &pass, logging_filter, &log), FALSE);
    EXPECT_EQ(log.calls, 4) << "three repeats after the first fault";
    EXPECT_EQ(pass.started, 1) << "a repeat is the access, not the pass";
    EXPECT_FALSE(pass.finished);
}

struct RegrowingFilter {
    TruncatedView* view;
    int calls = 0;
};

LONG regrow_and_continue(void* context, DWORD, EXCEPTION_POINTERS*)
{
    auto* filter = static_cast<RegrowingFilter*>(context);
    ++filter->calls;
    return filter->view->regrow() ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(GuardTest, ContinueAfterTheFileRegrowsCompletesThePassWithZeros)
{
    ReadPass pass;
    pass.address = view.lost_byte();
    RegrowingFilter filter{&view};

    EXPECT_EQ(run_guarded(read_one_byte, &pass, regrow_and_continue, &filter), TRUE);
    EXPECT_EQ(filter.calls, 1);
    EXPECT_TRUE(pass.finished);
    EXPECT_EQ(pass.value, '\0');
}

// A filter that uses its stack the way a log writer does, so that sanitizers
// see frames on the alternate stack again after every jump away from it.
LONG format_and_execute(void* context, DWORD code, EXCEPTION_POINTERS* info)
{
    char line[260];
    const int length = snprintf(line, sizeof line, "Exception Code = %x at %p\n", (unsigned)code,
                                info->ExceptionRecord->ExceptionAddress);
    *static_cast<int*>(context) += length > 0 ? 1 : 0;
    return EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(GuardTest, ThreadTakesFaultAfterFaultAndStillRunsCleanPasses)
{
    int handled = 0;
    for (int round = 0; round < 50; ++round) {
        ReadPass faulting;
        faulting.address = view.lost_byte();
        ASSERT_EQ(run_guarded(read_one_byte, &faulting, format_and_execute, &handled), FALSE)
            << "round " << round;
        ReadPass clean;
        clean.address = view.intact_byte();
        ASSERT_EQ(run_guarded(read_one_byte, &clean, format_and_execute, &handled), TRUE)
            << "round " << round;
    }
    EXPECT_EQ(handled, 50);
}

struct LogFile {
    std::string path;
    int lines_written = 0;
};

// What the program's filter does with a fault: appends a line to a log file,
// allocating and locking as stdio does.
LONG append_to_log(void* context, DWORD code, EXCEPTION_POINTERS*)
{
    auto* log = static_cast<LogFile*>(context);
    FILE* file = fopen(log->path.c_str(), "a");
    if (file != nullptr) {
        log->lines_written += fprintf(file, "Exception Code = %x\n", (unsigned)code) > 0 ? 1 : 0;
        fclose(file);
    }
    return log->lines_written < 2 ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(GuardTest, FilterCanWriteALogWhileTheAccessWaits)
{
    char directory[] = "/tmp/guard-log-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    LogFile log{std::string(directory) + "/task.log"};
    ReadPass pass;
    pass.address = view.lost_byte();

    EXPECT_EQ(run_guarded(read_one_byte, &pass, append_to_log, &log), FALSE);

    std::string content(100, '\0');
    FILE* file = fopen(log.path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    content.resize(fread(content.data(), 1, content.size(), file));
    fclose(file);
    unlink(log.path.c_str());
    rmdir(directory);
    EXPECT_EQ(content, "Exception Code = c0000006\nException Code = c0000006\n");
}

struct MaskingPass {
    ReadPass read;
    bool blocked = false;
};

void block_usr2_then_read(void* context)
{
    auto* pass = static_cast<MaskingPass*>(context);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    pass->blocked = pthread_sigmask(SIG_BLOCK, &usr2, nullptr) == 0;
    read_one_byte(&pass->read);
}

TEST_F(GuardTest, LeavingThePassRestoresTheSignalMaskOfItsStart)
{
    MaskingPass pass;
    pass.read.address = view.lost_byte();
    FaultLog log;

    ASSERT_EQ(run_guarded(block_usr2_then_read, &pass, logging_filter, &log), FALSE);
    ASSERT_TRUE(pass.blocked);
    sigset_t now;
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &now), 0);
    EXPECT_EQ(sigismember(&now, SIGUSR2), 0);
    EXPECT_EQ(sigismember(&now, SIGBUS), 0);
}

void write_one_byte(void* context)
{
    auto* pass = static_cast<ReadPass*>(context);
    ++pass->started;
    *const_cast<volatile char*>(pass->address) = 'w';
    pass->finished = true;
}

TEST_F(GuardTest, WriteToReadOnlyViewIsAnAccessViolationWrite)
{
#if !defined(__x86_64__)
    GTEST_SKIP() << "the access kind is read from the x86-64 page-fault error code";
#endif
    ReadPass pass;
    pass.address = view.intact_byte();
    FaultLog log;

    EXPECT_EQ(run_guarded(write_one_byte, &pass, logging_filter, &log), FALSE);
    EXPECT_EQ(log.calls, 1);
    EXPECT_EQ(log.code, 0xC0000006u);
    EXPECT_EQ(log.record.ExceptionInformation[0], 1u) << "a write";
    EXPECT_EQ(log.record.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(pass.address));
    EXPECT_EQ(log.record.ExceptionInformation[2], 0xC0000005u) << "access violation";
    EXPECT_FALSE(pass.finished);
}

// Nesting: the inner pass runs inside the outer one.
struct NestedPass {
    ReadPass inner_read;
    GuardFilter inner_filter;
    void* inner_context;
    BOOL inner_result = -1;
    bool outer_finished = false;
};

void run_inner_guard(void* context)
{
    auto* pass = static_cast<NestedPass*>(context);
    pass->inner_result = run_guarded(read_one_byte, &pass->inner_read, pass->inner_filter, pass->inner_context);
    pass->outer_finished = true;
}

class GuardNestingTest : public GuardTest {};

TEST_F(GuardNestingTest, InnermostGuardTakesTheFault)
{
    FaultLog inner_log;
    FaultLog outer_log;
    NestedPass pass;
    pass.inner_read.address = view.lost_byte();
    pass.inner_filter = logging_filter;
    pass.inner_context = &inner_log;

    EXPECT_EQ(run_guarded(run_inner_guard, &pass, logging_filter, &outer_log), TRUE);
    EXPECT_EQ(pass.inner_result, FALSE);
    EXPECT_TRUE(pass.outer_finished);
    EXPECT_EQ(inner_log.calls, 1);
    EXPECT_EQ(outer_log.calls, 0);
}

TEST_F(GuardNestingTest, ContinueSearchHandsTheFaultToTheOuterGuard)
{
    FaultLog inner_log;
    inner_log.final_verdict = EXCEPTION_CONTINUE_SEARCH;
    FaultLog outer_log;
    NestedPass pass;
    pass.inner_read.address = view.lost_byte();
    pass.inner_filter = logging_filter;
    pass.inner_context = &inner_log;

    EXPECT_EQ(run_guarded(run_inner_guard, &pass, logging_filter, &outer_log), FALSE);
    EXPECT_EQ(inner_log.calls, 1);
    EXPECT_EQ(outer_log.calls, 1);
    EXPECT_EQ(outer_log.record.ExceptionInformation[1], reinterpret_cast<ULONG_PTR>(view.lost_byte()));
    EXPECT_FALSE(pass.outer_finished) << "the outer pass is left, inner guard and all";
}

struct FaultingFilter {
    const volatile char* address;
    int calls = 0;
};

// A filter that itself reads the lost page: that fault is not its own guard's.
LONG fault_inside_filter(void* context, DWORD, EXCEPTION_POINTERS*)
{
    auto* filter = static_cast<FaultingFilter*>(context);
    ++filter->calls;
    return *filter->address == 'a' ? EXCEPTION_CONTINUE_EXECUTION : EXCEPTION_EXECUTE_HANDLER;
}

TEST_F(GuardNestingTest, FaultInsideAFilterGoesToTheOuterGuard)
{
    FaultingFilter inner_filter{view.lost_byte()};
    FaultLog outer_log;
    outer_log.final_verdict = EXCEPTION_EXECUTE_HANDLER;
    NestedPass pass;
    pass.inner_read.address = view.lost_byte();
    pass.inner_filter = fault_inside_filter;
    pass.inner_context = &inner_filter;

    EXPECT_EQ(run_guarded(run_inner_guard, &pass, logging_filter, &outer_log), FALSE);
    EXPECT_EQ(inner_filter.calls, 1) << "the inner filter is not asked about its own fault";
    EXPECT_EQ(outer_log.calls, 1);
    EXPECT_FALSE(pass.outer_finished);
}

}  // namespace
