#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/faults.h"
#include "platform/win32.h"

namespace {

template <typename Condition>
bool eventually(Condition condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The thread's exit code once it has ended; STILL_ACTIVE if it never does.
DWORD exit_code_when_ended(HANDLE handle)
{
    DWORD exit_code = STILL_ACTIVE;
    eventually([&] { return !GetExitCodeThread(handle, &exit_code) || exit_code != STILL_ACTIVE; });
    return exit_code;
}

struct Probe {
    std::atomic<DWORD> own_id{0};
    std::atomic<size_t> stack_size{0};
};

DWORD WINAPI report_self(LPVOID parameter)
{
    auto* probe = static_cast<Probe*>(parameter);
    probe->own_id.store(GetCurrentThreadId());
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* base = nullptr;
        size_t size = 0;
        pthread_attr_getstack(&attributes, &base, &size);
        pthread_attr_destroy(&attributes);
        probe->stack_size.store(size);
    }
    return 1000 + probe->own_id.load() % 1000;
}

// Runs until released, counting heartbeats meanwhile.
struct Worker {
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    std::atomic<DWORD> heartbeats{0};
};

DWORD WINAPI run_until_released(LPVOID parameter)
{
    auto* worker = static_cast<Worker*>(parameter);
    while (!worker->release.load()) {
        worker->heartbeats.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker->finished.store(true);
    return 99;
}

// For a static worker, which outlives an abandoned thread.
Worker& fresh(Worker& worker)
{
    worker.release.store(false);
    worker.finished.store(false);
    return worker;
}

bool keeps_beating(const Worker& worker)
{
    DWORD beats = worker.heartbeats.load();
    return eventually([&] { return worker.heartbeats.load() > beats + 1; });
}

}  // namespace

TEST(Threads, ManyThreadsGetDistinctIdsAndTheirExitCodes)
{
    constexpr int count = 200;
    std::vector<Probe> probes(count);
    std::vector<HANDLE> handles;
    std::set<DWORD> ids;
    for (Probe& probe : probes) {
        DWORD id = 0;
        HANDLE handle = CreateThread(nullptr, 0, report_self, &probe, 0, &id);
        ASSERT_NE(handle, nullptr);
        EXPECT_NE(id, 0u);
        ids.insert(id);
        handles.push_back(handle);
    }
    EXPECT_EQ(ids.size(), static_cast<size_t>(count));
    for (int index = 0; index < count; ++index) {
        DWORD exit_code = exit_code_when_ended(handles[index]);
        DWORD own_id = probes[index].own_id.load();
        EXPECT_EQ(exit_code, 1000 + own_id % 1000);
        EXPECT_EQ(ids.count(own_id), 1u) << "the thread sees the id it was given";
        EXPECT_TRUE(CloseHandle(handles[index]));
    }
    DWORD own = GetCurrentThreadId();
    EXPECT_NE(own, 0u);
    EXPECT_EQ(ids.count(own), 0u) << "a thread the layer did not start gets an id of its own";
}

TEST(Threads, TerminateAbandonsTheThreadButFixesItsExitCode)
{
    // Static: the abandoned thread may touch it until the process ends.
    static Worker worker;
    HANDLE handle = CreateThread(nullptr, 0, run_until_released, &fresh(worker), 0, nullptr);
    ASSERT_NE(handle, nullptr);
    DWORD exit_code = 0;
    ASSERT_TRUE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(exit_code, static_cast<DWORD>(STILL_ACTIVE));
    ASSERT_TRUE(TerminateThread(handle, 7));
    ASSERT_TRUE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(exit_code, 7u);
    EXPECT_TRUE(keeps_beating(worker)) << "an abandoned thread runs on";

    worker.release.store(true);
    ASSERT_TRUE(eventually([] { return worker.finished.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(exit_code, 7u) << "its own return does not replace the code given";

    EXPECT_TRUE(TerminateThread(handle, 1));
    ASSERT_TRUE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(exit_code, 7u) << "an ended thread keeps its exit code";
    EXPECT_TRUE(CloseHandle(handle));
}

TEST(Threads, ClosingTheHandleLeavesTheThreadRunning)
{
    static Worker worker;
    HANDLE handle = CreateThread(nullptr, 0, run_until_released, &fresh(worker), 0, nullptr);
    ASSERT_NE(handle, nullptr);
    ASSERT_TRUE(CloseHandle(handle));
    EXPECT_TRUE(keeps_beating(worker));
    worker.release.store(true);
    EXPECT_TRUE(eventually([] { return worker.finished.load(); }));

    SetLastError(0xdeadbeef);
    DWORD exit_code = 0;
    EXPECT_FALSE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(TerminateThread(handle, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Threads, RequestedStackSizeIsTheLeastTheThreadGets)
{
    for (SIZE_T requested : {SIZE_T{64} << 20, SIZE_T{4096}}) {
        Probe probe;
        HANDLE handle = CreateThread(nullptr, requested, report_self, &probe, 0, nullptr);
        ASSERT_NE(handle, nullptr);
        exit_code_when_ended(handle);
        EXPECT_GE(probe.stack_size.load(), std::max<size_t>(requested, size_t{1} << 20));
        CloseHandle(handle);
    }
}

TEST(Threads, RefusedAndFailedCreation)
{
    Probe probe;
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, report_self, &probe, CREATE_SUSPENDED, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    fault_arm("CreateThread", 1, ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(CreateThread(nullptr, 0, report_self, &probe, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    fault_reset();

    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(probe.own_id.load(), 0u) << "a refused thread never runs";
}
