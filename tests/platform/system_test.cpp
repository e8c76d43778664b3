#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "files_test_support.h"
#include "platform/settings.h"
#include "platform/system_seam.h"

namespace {

class ComputerName : public ::testing::Test {
protected:
    void TearDown() override
    {
        system_fix_computer_name(nullptr);
    }
};

constexpr WCHAR wide_sentinel = 0xBEEF;

}  // namespace

TEST_F(ComputerName, FollowsTheWin32BufferRules)
{
    system_fix_computer_name("WORKSTATION7");
    char buffer[16];
    DWORD size = 13;  // exactly the name and its NUL
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, "WORKSTATION7");
    EXPECT_EQ(size, 12u) << "on success the size excludes the NUL";
    std::memset(buffer, '#', sizeof buffer);
    size = 12;
    EXPECT_FAILS(GetComputerNameA(buffer, &size), FALSE, ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 13u) << "a failure gives the size needed";
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'))
        << "nothing is written into a buffer that is too small";
    size = 0;
    EXPECT_FALSE(GetComputerNameA(nullptr, &size));
    EXPECT_EQ(size, 13u);
    EXPECT_FAILS(GetComputerNameA(buffer, nullptr), FALSE, ERROR_INVALID_PARAMETER);
}

TEST_F(ComputerName, HostNameAndProcessIdUnlessFixed)
{
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    char buffer[MAX_PATH];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, host);
    system_fix_computer_name("BENCH");
    size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, "BENCH");
    system_fix_computer_name(nullptr);
    size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, host);
    // The process id likewise.
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    system_fix_process_id(4242);
    EXPECT_EQ(GetCurrentProcessId(), 4242u);
    system_fix_process_id(0);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
}

TEST(Version, NtFourWithTheKernelVersionAsBuildNumber)
{
    DWORD version = GetVersion();
    EXPECT_EQ(version & 0x80000000u, 0u) << "the NT family has the top bit clear";
    EXPECT_EQ(LOBYTE(LOWORD(version)), 4);
    EXPECT_EQ((LOWORD(version) >> 8) & 0xff, 0);
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    unsigned major = 0;
    unsigned minor = 0;
    ASSERT_EQ(std::sscanf(names.release, "%u.%u", &major, &minor), 2);
    EXPECT_EQ(HIWORD(version), major * 1000 + minor) << names.release;
}

TEST(DebugOutputTest, GoesToTheNamedFileOrStandardErrorOrNowhere)
{
    const std::string directory = files_test::make_temp_directory();
    const std::string file = directory + "/debug.txt";
    setting_override(Setting::DebugOutput, file.c_str());
    OutputDebugStringA("DurandexInitialize\n");
    OutputDebugStringA("Durandex Ended.\n");
    OutputDebugStringA(nullptr);
    setting_override(Setting::DebugOutput, nullptr);
    OutputDebugStringA("dropped\n");
    EXPECT_EQ(files_test::read_native(file), "DurandexInitialize\nDurandex Ended.\n");
    files_test::remove_tree(directory);
    setting_override(Setting::DebugOutput, "-");
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("to the terminal\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to the terminal\n");
}

TEST(DebugOutputTest, ConcurrentTextsStayWhole)
{
    const std::string directory = files_test::make_temp_directory();
    const std::string file = directory + "/debug.txt";
    constexpr int thread_count = 8;
    constexpr int lines_per_thread = 150;
    {
        setting_override(Setting::DebugOutput, file.c_str());
        std::vector<std::thread> threads;
        for (int thread = 0; thread < thread_count; ++thread) {
            threads.emplace_back([thread] {
                // Long lines, so that a text written in pieces would interleave.
                const std::string line = std::string(5000, static_cast<char>('a' + thread)) + '\n';
                for (int index = 0; index < lines_per_thread; ++index) {
                    OutputDebugStringA(line.c_str());
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    std::istringstream lines(files_test::read_native(file));
    std::map<char, int> counts;
    std::string line;
    int total = 0;
    while (std::getline(lines, line)) {
        ++total;
        ASSERT_EQ(line.size(), 5000u) << "line " << total;
        ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos) << "line " << total << " is mixed";
        ++counts[line[0]];
    }
    EXPECT_EQ(total, thread_count * lines_per_thread);
    for (int thread = 0; thread < thread_count; ++thread) {
        EXPECT_EQ(counts[static_cast<char>('a' + thread)], lines_per_thread);
    }
    files_test::remove_tree(directory);
}

TEST(GlobalMemory, ZeroInitFillsFixedAndMoveableBlocks)
{
    constexpr size_t size = 256 * 1024;
    // Dirty memory that the allocator is likely to hand out again.
    void* dirty = std::malloc(size);
    ASSERT_NE(dirty, nullptr);
    std::memset(dirty, 0xA5, size);
    std::free(dirty);
    for (UINT flags : {UINT{GPTR}, UINT{GHND}}) {
        HGLOBAL block = GlobalAlloc(flags, size);
        ASSERT_NE(block, nullptr);
        auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
        ASSERT_NE(bytes, nullptr);
        EXPECT_TRUE(std::all_of(bytes, bytes + size, [](unsigned char byte) { return byte == 0; }))
            << "flags " << flags;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % alignof(std::max_align_t), 0u)
            << "records with 64-bit and atomic fields live in these blocks";
        std::memset(bytes, 0x5A, size);
        // Zero with NO_ERROR means unlocked.
        EXPECT_FAILS(GlobalUnlock(block), FALSE, NO_ERROR);
        EXPECT_EQ(GlobalFree(block), nullptr) << "null is success";
    }
}

TEST(GlobalMemory, ZeroBytesGiveDistinctFreeableBlocks)
{
    HGLOBAL first = GlobalAlloc(GMEM_FIXED, 0);
    HGLOBAL second = GlobalAlloc(GHND, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(GlobalFree(first), nullptr);
    EXPECT_EQ(GlobalFree(second), nullptr);
}

TEST(GlobalMemory, RealFailureReturnsNullWithCodeEight)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' allocators abort on an impossible request instead of returning null";
#else
    EXPECT_FAILS(GlobalAlloc(GPTR, SIZE_MAX / 2), nullptr, ERROR_NOT_ENOUGH_MEMORY);
#endif
}

TEST(MultiByteToWideChar, SizesNulRulesAndHighBytes)
{
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "Drives", -1, nullptr, 0), 7) << "-1 counts the NUL";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, nullptr, 0), 3);
    std::vector<WCHAR> wide(10, wide_sentinel);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "Drives", -1, wide.data(), 10), 7);
    EXPECT_EQ(std::vector<WCHAR>(wide.begin(), wide.begin() + 8),
              (std::vector<WCHAR>{'D', 'r', 'i', 'v', 'e', 's', 0, wide_sentinel}));
    std::vector<WCHAR> counted(5, wide_sentinel);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, counted.data(), 5), 3);
    EXPECT_EQ(counted, (std::vector<WCHAR>{'a', 'b', 'c', wide_sentinel, wide_sentinel}))
        << "a counted text gets no NUL";
    std::vector<WCHAR> high(5, wide_sentinel);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9t\xFF\x80", -1, high.data(), 5), 5);
    EXPECT_EQ(high, (std::vector<WCHAR>{0x00E9, 't', 0x00FF, 0x0080, 0})) << "Latin-1, not sign-extended";
}

TEST(MultiByteToWideChar, RefusedCalls)
{
    std::vector<WCHAR> wide(6, wide_sentinel);
    EXPECT_FAILS(MultiByteToWideChar(CP_ACP, 0, "Drives", -1, wide.data(), 6), 0, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(wide, std::vector<WCHAR>(6, wide_sentinel)) << "a buffer that is too small stays untouched";
    struct Case { UINT code_page; const char* text; int length; WCHAR* out; int out_size; };
    for (const Case& bad : {Case{CP_ACP, nullptr, -1, wide.data(), 6}, Case{CP_ACP, "x", 0, wide.data(), 6},
                            Case{CP_ACP, "x", -2, wide.data(), 6}, Case{CP_ACP, "x", -1, nullptr, 6},
                            Case{CP_ACP, "x", -1, wide.data(), -1}, Case{12345, "x", -1, wide.data(), 6}}) {
        EXPECT_FAILS(MultiByteToWideChar(bad.code_page, 0, bad.text, bad.length, bad.out, bad.out_size), 0,
                     ERROR_INVALID_PARAMETER);
    }
}

TEST(WideStrings, CopyAndLength)
{
    const WCHAR source[] = {'M', 'S', ' ', 0x00E9, 0};
    std::vector<WCHAR> target(8, wide_sentinel);
    EXPECT_EQ(lstrcpyW(target.data(), source), target.data());
    EXPECT_EQ(std::memcmp(target.data(), source, sizeof source), 0);
    EXPECT_EQ(target[5], wide_sentinel) << "the copy stops after the NUL";
    EXPECT_EQ(lstrlenW(target.data()), 4);
    EXPECT_EQ(lstrlenW(nullptr), 0);
}
