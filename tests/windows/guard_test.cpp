// The Windows guard on real faults: a page the process may not touch, and
// guards nested on one thread.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/guard.h"

namespace {

struct Decisions {
    LONG verdict = EXCEPTION_EXECUTE_HANDLER;
    int calls = 0;
    DWORD code = 0;
    ULONG_PTR address = 0;
};

LONG decide(void* context, DWORD code, EXCEPTION_POINTERS* info)
{
    auto* decisions = static_cast<Decisions*>(context);
    ++decisions->calls;
    decisions->code = code;
    decisions->address = info->ExceptionRecord->ExceptionInformation[1];
    return decisions->verdict;
}

struct Pass {
    volatile char* page;
    int reached_end = 0;
};

void write_page(void* context)
{
    auto* pass = static_cast<Pass*>(context);
    pass->page[7] = 42;
    pass->reached_end = 1;
}

// A guarded write inside another guard, with its own filter.
struct Nest {
    volatile char* page;
    GuardFilter filter;
    void* context;
    int after_inner = 0;
};

void inner_guarded_write(void* context)
{
    auto* nest = static_cast<Nest*>(context);
    Pass pass{nest->page};
    run_guarded(write_page, &pass, nest->filter, nest->context);
    nest->after_inner = 1;
}

struct FaultingFilter {
    volatile char* page;
    int calls = 0;
};

// Faults on the page itself while it decides.
LONG fault_inside(void* context, DWORD, EXCEPTION_POINTERS*)
{
    auto* filter = static_cast<FaultingFilter*>(context);
    ++filter->calls;
    filter->page[0] = 1;
    return EXCEPTION_CONTINUE_EXECUTION;
}

void throw_runtime_error(void*)
{
    throw std::runtime_error("thrown inside a guard");
}

}  // namespace

// One page that faults on every access until it is opened.
class LockedPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        page_ = static_cast<volatile char*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
        ASSERT_NE(page_, nullptr);
    }
    void TearDown() override { VirtualFree(const_cast<char*>(page_), 0, MEM_RELEASE); }

    static LONG open_then_continue(void* context, DWORD, EXCEPTION_POINTERS*)
    {
        auto* test = static_cast<LockedPage*>(context);
        ++test->opening_calls_;
        DWORD old = 0;
        VirtualProtect(const_cast<char*>(test->page_), 4096, PAGE_READWRITE, &old);
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    volatile char* page_ = nullptr;
    int opening_calls_ = 0;
};

TEST_F(LockedPage, ExecuteHandlerAbandonsThePassAndTheThreadGoesOn)
{
    Decisions decisions;
    Pass pass{page_};
    EXPECT_FALSE(run_guarded(write_page, &pass, decide, &decisions));
    EXPECT_EQ(pass.reached_end, 0);
    EXPECT_EQ(decisions.calls, 1);
    EXPECT_EQ(decisions.code, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(decisions.address, reinterpret_cast<ULONG_PTR>(page_ + 7));
    // That guard is gone: the next pass faults into a guard of its own.
    Decisions again;
    EXPECT_FALSE(run_guarded(write_page, &pass, decide, &again));
    EXPECT_EQ(again.calls, 1);
    EXPECT_EQ(decisions.calls, 1);
}

TEST_F(LockedPage, ContinueExecutionRepeatsTheFaultingAccess)
{
    Pass pass{page_};
    EXPECT_TRUE(run_guarded(write_page, &pass, open_then_continue, this));
    EXPECT_EQ(pass.reached_end, 1);
    EXPECT_EQ(opening_calls_, 1);
    EXPECT_EQ(page_[7], 42);
}

TEST_F(LockedPage, InnerGuardFirstAndContinueSearchReachesTheOuterOne)
{
    Decisions inner;
    inner.verdict = EXCEPTION_CONTINUE_SEARCH;
    Decisions outer;
    Nest nest{page_, decide, &inner};
    EXPECT_FALSE(run_guarded(inner_guarded_write, &nest, decide, &outer));
    EXPECT_EQ(inner.calls, 1);
    EXPECT_EQ(outer.calls, 1);
    EXPECT_EQ(nest.after_inner, 0);

    // An inner guard that takes the fault lets the outer pass go on.
    inner.verdict = EXCEPTION_EXECUTE_HANDLER;
    Nest handled{page_, decide, &inner};
    EXPECT_TRUE(run_guarded(inner_guarded_write, &handled, decide, &outer));
    EXPECT_EQ(inner.calls, 2);
    EXPECT_EQ(outer.calls, 1);
    EXPECT_EQ(handled.after_inner, 1);
}

TEST_F(LockedPage, FaultInsideAFilterGoesToTheGuardOutside)
{
    FaultingFilter inner{page_};
    Decisions outer;
    Nest nest{page_, fault_inside, &inner};
    EXPECT_FALSE(run_guarded(inner_guarded_write, &nest, decide, &outer));
    EXPECT_EQ(inner.calls, 1);
    EXPECT_EQ(outer.calls, 1);
    EXPECT_EQ(nest.after_inner, 0);
    // Both guards are gone.
    Decisions next;
    Pass pass{page_};
    EXPECT_FALSE(run_guarded(write_page, &pass, decide, &next));
    EXPECT_EQ(next.calls, 1);
    EXPECT_EQ(outer.calls, 1);
    EXPECT_EQ(inner.calls, 1);
}

TEST_F(LockedPage, CppExceptionsPassTheFilterByAndLeaveNoGuardBehind)
{
    Decisions thrown_through;
    EXPECT_THROW(run_guarded(throw_runtime_error, nullptr, decide, &thrown_through), std::runtime_error);
    EXPECT_EQ(thrown_through.calls, 0);
    Decisions next;
    Pass pass{page_};
    EXPECT_FALSE(run_guarded(write_page, &pass, decide, &next));
    EXPECT_EQ(next.calls, 1);
    EXPECT_EQ(thrown_through.calls, 0);
}
