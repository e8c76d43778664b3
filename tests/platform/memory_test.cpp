#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/faults.h"
#include "platform/win32.h"

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
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(GlobalUnlock(block));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(NO_ERROR)) << "zero with NO_ERROR means unlocked";
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

TEST(GlobalMemory, InjectedFailureReturnsNullWithTheCode)
{
    fault_arm("GlobalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(GlobalAlloc(GPTR, 64), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
    HGLOBAL block = GlobalAlloc(GPTR, 64);
    EXPECT_NE(block, nullptr) << "only the armed calls fail";
    GlobalFree(block);
    fault_reset();
}

// The sanitizers' allocators abort on an impossible request instead of
// returning null, so the real failure is checked in the plain build only.
TEST(GlobalMemory, ImpossibleSizeFailsWithCodeEight)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizer allocators abort on impossible sizes instead of failing";
#else
    SetLastError(0xdeadbeef);
    EXPECT_EQ(GlobalAlloc(GPTR, SIZE_MAX / 2), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
#endif
}
