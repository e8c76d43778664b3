#include <sys/utsname.h>

#include <algorithm>
#include <cstdio>

#include "files_test_support.h"
#include "platform/settings.h"
#include "platform/system_seam.h"

namespace {

// The version is NT 4.0 (top bit clear) with the kernel's version as build number.
TEST(System, ComputerNameFollowsTheWin32BufferRulesProcessIdAndVersionAreTheSystems)
{
    char host[256] = {}, buffer[MAX_PATH];
    DWORD size = sizeof buffer;
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    ASSERT_TRUE(GetComputerNameA(buffer, &size));
    EXPECT_STREQ(buffer, host);
    system_fix_computer_name("WORKSTATION7");
    ASSERT_TRUE(GetComputerNameA(buffer, &(size = 13)));  // exactly the name and its NUL
    EXPECT_STREQ(buffer, "WORKSTATION7");
    EXPECT_EQ(size, 12u) << "on success the size excludes the NUL";
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_FAILS(GetComputerNameA(buffer, &(size = 12)), FALSE, ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 13u) << "a failure gives the size needed";
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#')) << "a short buffer stays untouched";
    EXPECT_FAILS(GetComputerNameA(buffer, nullptr), FALSE, ERROR_INVALID_PARAMETER);
    system_fix_computer_name(nullptr);
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(getpid()));
    utsname names{};
    unsigned major = 0, minor = 0;
    ASSERT_EQ(uname(&names), 0);
    ASSERT_EQ(std::sscanf(names.release, "%u.%u", &major, &minor), 2);
    EXPECT_EQ(GetVersion(), (major * 1000 + minor) << 16 | 4) << names.release;
}

// Texts go to the named file, or to standard error, or nowhere.
TEST(DebugOutputTest, GoesToTheNamedFileOrStandardErrorOrNowhere)
{
    const std::string directory = make_temp_directory(), file = directory + "/debug.txt";
    setting_override(Setting::DebugOutput, file.c_str());
    OutputDebugStringA("DurandexInitialize\n");
    OutputDebugStringA(nullptr);
    setting_override(Setting::DebugOutput, nullptr);
    OutputDebugStringA("dropped\n");
    EXPECT_EQ(read_text_file(file), "DurandexInitialize\n");
    remove_tree(directory);
    setting_override(Setting::DebugOutput, "-");
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("to the terminal\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to the terminal\n");
}

// Blocks for records with 64-bit and atomic fields come zeroed and aligned,
// even from dirty memory.
TEST(GlobalMemory, ZeroInitFillsBlocksAndRealFailureGivesCodeEight)
{
    constexpr size_t size = 256 * 1024;
    std::free(std::memset(std::malloc(size), 0xA5, size));
    HGLOBAL block = GlobalAlloc(GPTR, size);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::count(bytes, bytes + size, 0), static_cast<long>(size));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes) % alignof(std::max_align_t), 0u);
    EXPECT_FAILS(GlobalUnlock(block), FALSE, NO_ERROR);  // zero with no error means unlocked
    EXPECT_EQ(GlobalFree(block), nullptr) << "null is success";
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers' allocators abort on an impossible request instead of returning null.
    EXPECT_FAILS(GlobalAlloc(GPTR, SIZE_MAX / 2), nullptr, ERROR_NOT_ENOUGH_MEMORY);
#endif
}

// Latin-1 high bytes are not sign-extended; -1 counts the NUL; a counted text gets none.
TEST(WideText, MultiByteToWideCharSizesNulRulesAndHighBytes)
{
    constexpr WCHAR untouched = 0xBEEF;
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "Drives", -1, nullptr, 0), 7);
    std::vector<WCHAR> wide(6, untouched);
    EXPECT_FAILS(MultiByteToWideChar(CP_ACP, 0, "Drives", -1, wide.data(), 6), 0, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(wide, std::vector<WCHAR>(6, untouched)) << "a buffer that is too small stays untouched";
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, wide.data(), 6), 3);
    EXPECT_EQ(wide, (std::vector<WCHAR>{'a', 'b', 'c', untouched, untouched, untouched}));
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\xE9t\xFF\x80", -1, wide.data(), 6), 5);
    EXPECT_EQ(wide, (std::vector<WCHAR>{0x00E9, 't', 0x00FF, 0x0080, 0, untouched}));
    struct Case { UINT code_page; const char* text; int length; WCHAR* out; int out_size; };
    for (const Case& bad : {Case{CP_ACP, nullptr, -1, wide.data(), 6}, Case{CP_ACP, "x", -2, wide.data(), 6},
                            Case{CP_ACP, "x", -1, wide.data(), -1}, Case{12345, "x", -1, wide.data(), 6}}) {
        EXPECT_FAILS(MultiByteToWideChar(bad.code_page, 0, bad.text, bad.length, bad.out, bad.out_size), 0,
                     ERROR_INVALID_PARAMETER);
    }
}

}  // namespace
