#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/win32.h"

namespace {

constexpr WCHAR sentinel = 0xBEEF;

}  // namespace

TEST(MultiByteToWideChar, SizesAndNulRules)
{
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "Drives", -1, nullptr, 0), 7) << "-1 counts the NUL";
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, nullptr, 0), 3);

    std::vector<WCHAR> wide(10, sentinel);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "Drives", -1, wide.data(), 10), 7);
    EXPECT_EQ(std::vector<WCHAR>(wide.begin(), wide.begin() + 8),
              (std::vector<WCHAR>{'D', 'r', 'i', 'v', 'e', 's', 0, sentinel}));

    std::vector<WCHAR> counted(5, sentinel);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", 3, counted.data(), 5), 3);
    EXPECT_EQ(counted, (std::vector<WCHAR>{'a', 'b', 'c', sentinel, sentinel})) << "a counted text gets no NUL";
}

TEST(MultiByteToWideChar, HighBytesAreLatinOneNotSignExtended)
{
    std::vector<WCHAR> wide(5, sentinel);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9t\xFF\x80", -1, wide.data(), 5), 5);
    EXPECT_EQ(wide, (std::vector<WCHAR>{0x00E9, 't', 0x00FF, 0x0080, 0}));
}

TEST(MultiByteToWideChar, RefusedCalls)
{
    std::vector<WCHAR> wide(6, sentinel);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "Drives", -1, wide.data(), 6), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(wide, std::vector<WCHAR>(6, sentinel)) << "a buffer that is too small stays untouched";

    struct Case {
        UINT code_page;
        const char* text;
        int length;
        WCHAR* out;
        int out_size;
    };
    for (const Case& bad : {Case{CP_ACP, nullptr, -1, wide.data(), 6}, Case{CP_ACP, "x", 0, wide.data(), 6},
                            Case{CP_ACP, "x", -2, wide.data(), 6}, Case{CP_ACP, "x", -1, nullptr, 6},
                            Case{CP_ACP, "x", -1, wide.data(), -1}, Case{12345, "x", -1, wide.data(), 6}}) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(MultiByteToWideChar(bad.code_page, 0, bad.text, bad.length, bad.out, bad.out_size), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
}

TEST(WideStrings, CopyAndLength)
{
    const WCHAR source[] = {'M', 'S', ' ', 0x00E9, 0};
    std::vector<WCHAR> target(8, sentinel);
    EXPECT_EQ(lstrcpyW(target.data(), source), target.data());
    EXPECT_EQ(std::memcmp(target.data(), source, sizeof source), 0);
    EXPECT_EQ(target[5], sentinel) << "the copy stops after the NUL";
    EXPECT_EQ(lstrlenW(target.data()), 4);
    EXPECT_EQ(lstrlenW(nullptr), 0);
}
