#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/faults.h"
#include "platform/system_seam.h"
#include "platform/win32.h"

namespace {

class ComputerName : public ::testing::Test {
protected:
    void TearDown() override
    {
        system_fix_computer_name(nullptr);
        fault_reset();
    }
};

// Points DURANDEX_DEBUG_OUTPUT somewhere for one test.
class DebugOutput {
public:
    explicit DebugOutput(const char* destination)
    {
        if (destination != nullptr) {
            setenv("DURANDEX_DEBUG_OUTPUT", destination, 1);
        } else {
            unsetenv("DURANDEX_DEBUG_OUTPUT");
        }
    }
    ~DebugOutput() { unsetenv("DURANDEX_DEBUG_OUTPUT"); }
};

std::filesystem::path fresh_directory()
{
    char pattern[] = "/tmp/durandex-system-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made != nullptr ? std::filesystem::path(made) : std::filesystem::path();
}

std::string read_whole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

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
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetComputerNameA(buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(size, 13u) << "a failure gives the size needed";
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'))
        << "nothing is written into a buffer that is too small";

    size = 0;
    EXPECT_FALSE(GetComputerNameA(nullptr, &size));
    EXPECT_EQ(size, 13u);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetComputerNameA(buffer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(ComputerName, HostNameUnlessFixedOrFailing)
{
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    char buffer[MAX_PATH];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, host);

    system_fix_computer_name("BENCH");
    fault_arm("GetComputerNameA", 1, ERROR_ACCESS_DENIED);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetComputerNameA(buffer, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size)) << "one armed failure only";
    EXPECT_STREQ(buffer, "BENCH");

    system_fix_computer_name(nullptr);
    size = sizeof buffer;
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, host);
}

TEST(ProcessId, RealUnlessFixed)
{
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

TEST(DebugOutputTest, AppendsToTheNamedFileAndDropsWhenUnset)
{
    auto directory = fresh_directory();
    ASSERT_FALSE(directory.empty());
    auto file = directory / "debug.txt";
    {
        DebugOutput output(file.c_str());
        OutputDebugStringA("DurandexInitialize\n");
        OutputDebugStringA("Durandex Ended.\n");
        OutputDebugStringA(nullptr);
    }
    {
        DebugOutput output(nullptr);
        OutputDebugStringA("dropped\n");
    }
    EXPECT_EQ(read_whole(file), "DurandexInitialize\nDurandex Ended.\n");
    std::filesystem::remove_all(directory);
}

TEST(DebugOutputTest, DashMeansStandardError)
{
    DebugOutput output("-");
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("to the terminal\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to the terminal\n");
}

TEST(DebugOutputTest, ConcurrentTextsStayWhole)
{
    auto directory = fresh_directory();
    ASSERT_FALSE(directory.empty());
    auto file = directory / "debug.txt";
    constexpr int thread_count = 8;
    constexpr int lines_per_thread = 150;
    {
        DebugOutput output(file.c_str());
        std::vector<std::thread> threads;
        for (int thread = 0; thread < thread_count; ++thread) {
            threads.emplace_back([thread] {
                // Long lines, so that a text written in pieces would interleave.
                std::string line(5000, static_cast<char>('a' + thread));
                line += '\n';
                for (int index = 0; index < lines_per_thread; ++index) {
                    OutputDebugStringA(line.c_str());
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    std::istringstream lines(read_whole(file));
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
    std::filesystem::remove_all(directory);
}
