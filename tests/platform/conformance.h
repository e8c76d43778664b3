// The conformance idiom: a call starts with a sentinel as last error, and both
// its result and the last error it leaves are checked.
#pragma once

#include <gtest/gtest.h>

#include "platform/win32.h"

constexpr DWORD sentinel = 0xdeadbeef;

// Expects `call` to give `result` and leave `code` as the last error.
#define EXPECT_FAILS(call, result, code)                                \
    do {                                                                 \
        SetLastError(sentinel);                                          \
        EXPECT_EQ((call), (result));                                     \
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(code));             \
    } while (0)

// Expects `call` to give `result` and leave the last error alone.
#define EXPECT_QUIET(call, result) EXPECT_FAILS(call, result, sentinel)

// Expects `call` to succeed (be true) and leave the last error alone.
#define EXPECT_QUIET_SUCCESS(call) EXPECT_QUIET(static_cast<bool>(call), true)
