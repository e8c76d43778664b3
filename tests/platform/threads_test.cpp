#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "conformance.h"
#include "tests/support.h"

namespace {

constexpr std::chrono::seconds thread_wait{20};

struct Probe { std::atomic<DWORD> own_id{0}, first_error{sentinel}; std::atomic<size_t> stack_size{0}; };

// Notes the thread's id, stack and the last error it starts with, then changes that.
DWORD WINAPI report_self(LPVOID parameter)
{
    auto* probe = static_cast<Probe*>(parameter);
    probe->first_error.store(GetLastError());
    SetLastError(ERROR_DISK_FULL);
    pthread_attr_t attributes;
    size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        pthread_attr_getstacksize(&attributes, &size);
        pthread_attr_destroy(&attributes);
    }
    probe->stack_size.store(size);
    probe->own_id.store(GetCurrentThreadId());
    return 1000 + probe->own_id.load() % 1000;
}

// Each thread gets a stack of at least 1 MiB. A refused thread never runs.
TEST(Threads, ManyThreadsGetDistinctIdsTheirExitCodesAStackAndTheirOwnLastError)
{
    Probe refused;
    EXPECT_FAILS(CreateThread(nullptr, 0, report_self, &refused, CREATE_SUSPENDED, nullptr), nullptr,
                 ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr, ERROR_INVALID_PARAMETER);
    SetLastError(ERROR_ACCESS_DENIED);
    constexpr int count = 200;
    std::vector<Probe> probes(count);
    std::vector<HANDLE> handles;
    std::set<DWORD> ids{0, GetCurrentThreadId()};
    for (int index = 0; index < count; ++index) {
        DWORD id = 0;
        handles.push_back(CreateThread(nullptr, 0, report_self, &probes[index], 0, &id));
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), count + 2u) << "ids are distinct, not zero, and not the id of this thread";
    for (int index = 0; index < count; ++index) {
        DWORD exit_code = STILL_ACTIVE;
        const auto ended = [&] { return !GetExitCodeThread(handles[index], &exit_code) || exit_code != STILL_ACTIVE; };
        wait_until(ended, thread_wait);
        const DWORD own_id = probes[index].own_id.load();
        EXPECT_EQ(exit_code, 1000 + own_id % 1000);
        EXPECT_EQ(ids.count(own_id), 1u) << "the thread sees the id it was given";
        EXPECT_EQ(probes[index].first_error.load(), static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_GE(probes[index].stack_size.load(), size_t{1} << 20) << index;
        EXPECT_TRUE(CloseHandle(handles[index]));
    }
    EXPECT_EQ(refused.own_id.load(), 0u) << "after 200 threads that did run";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << "the threads' errors stay their own";
}

// Runs until released. Static: an abandoned thread may touch it until the process ends.
struct Worker { std::atomic<bool> release{false}, finished{false}; std::atomic<pid_t> task{0}; };

DWORD WINAPI run_until_released(LPVOID parameter)
{
    auto* worker = static_cast<Worker*>(parameter);
    worker->task.store(gettid());
    while (!worker->release.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker->finished.store(true);
    return 99;
}

// Neither terminating a thread nor closing its handle stops it; a terminated
// thread keeps the exit code it was given.
TEST(Threads, TerminateOrCloseLeavesTheThreadRunningAndTerminateFixesItsExitCode)
{
    static Worker worker, closed;
    HANDLE handle = CreateThread(nullptr, 0, run_until_released, &worker, 0, nullptr);
    DWORD exit_code = 0;
    ASSERT_TRUE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(exit_code, static_cast<DWORD>(STILL_ACTIVE));
    ASSERT_TRUE(TerminateThread(handle, 7));
    ASSERT_TRUE(CloseHandle(CreateThread(nullptr, 0, run_until_released, &closed, 0, nullptr)));
    for (Worker* running : {&worker, &closed}) {
        running->release.store(true);
        EXPECT_TRUE(wait_until([&] { return running->finished.load(); }, thread_wait))
            << "it ran on and saw its release";
    }
    // The kernel drops the thread's task only after its return has been recorded.
    const std::string task = "/proc/self/task/" + std::to_string(worker.task.load());
    ASSERT_TRUE(wait_until([&] { return !std::filesystem::exists(task); }, thread_wait)) << "the thread has ended";
    EXPECT_TRUE(TerminateThread(handle, 1));
    ASSERT_TRUE(GetExitCodeThread(handle, &exit_code));
    EXPECT_EQ(exit_code, 7u) << "neither its own return nor a later terminate replaces the code given";
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_FAILS(GetExitCodeThread(handle, &exit_code), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(TerminateThread(handle, 1), FALSE, ERROR_INVALID_HANDLE);
}

}  // namespace
