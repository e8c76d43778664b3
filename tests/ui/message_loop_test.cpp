// The window thread's queue: order of delivery, painting, timers, the end of
// the loop, headless snapshots. Headless boxes on standard error are seen in
// the program runs, a worker's box while the window thread waits in the
// terminal probe tests.
#include "tests/ui/ui_fixture.h"

namespace {

class MessageLoopTest : public UiTest {};

TEST_F(MessageLoopTest, PostedMessagesComeInOrderThenPaintOnceThenQuitWithItsCode)
{
    HWND window = make_window(200, 100);
    RECT rect{0, 0, 16, 16};
    ASSERT_TRUE(InvalidateRect(window, &rect, TRUE));
    for (UINT i = 0; i < 3; ++i) {
        ASSERT_TRUE(PostMessageA(window, WM_USER + i, i * 10, static_cast<LPARAM>(i) + 100));
    }
    ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 9, 9, 0));
    MSG message;
    std::string seen;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(pump_one(&message));
        seen += (message.message == WM_PAINT ? "paint" : std::to_string(message.message - WM_USER)) +
                (message.hwnd == window ? "w" : "-") + std::to_string(message.wParam) + "," +
                std::to_string(message.lParam) + " ";
        if (message.message == WM_PAINT) {
            // The default procedure validated the window: nothing more to paint.
            ASSERT_TRUE(PostMessageA(window, WM_USER + 3, 0, 0));
        }
    }
    EXPECT_EQ(seen, "0w0,100 1w10,101 2w20,102 9-9,0 paintw0,0 3w0,0 ");
    PostQuitMessage(7);
    EXPECT_FALSE(GetMessageA(&message, nullptr, 0, 0));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);

    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_FAILS(PostMessageA(window, WM_USER, 0, 0), FALSE, ERROR_INVALID_WINDOW_HANDLE);
}

TEST_F(MessageLoopTest, TimersFireAtTheirPeriodsAndStopWhenKilledOrTheirWindowIsDestroyed)
{
    clock_set_scale(50);
    HWND window = make_window(200, 100);
    const ULONGLONG start = clock_now_ms();
    ASSERT_EQ(SetTimer(window, 110, 1000, nullptr), 110u);
    ASSERT_EQ(SetTimer(window, 111, 3000, nullptr), 111u);
    std::vector<ULONGLONG> fast;
    std::vector<ULONGLONG> slow;
    MSG message;
    const auto collect_until = [&](size_t fast_count, size_t slow_count) {
        while (fast.size() < fast_count || slow.size() < slow_count) {
            ASSERT_TRUE(pump_one(&message));
            if (message.message == WM_TIMER) {
                (message.wParam == 110 ? fast : slow).push_back(clock_now_ms() - start);
            }
        }
    };
    collect_until(6, 0);
    EXPECT_GE(fast.front(), 1000u);
    for (size_t i = 1; i < fast.size(); ++i) {
        EXPECT_GE(fast[i] - fast[i - 1], 1000u) << "tick " << i;
    }
    ASSERT_FALSE(slow.empty());
    EXPECT_GE(slow.front(), 3000u);
    EXPECT_LE(slow.size(), fast.size() / 3 + 1);

    ASSERT_TRUE(KillTimer(window, 110));
    EXPECT_FALSE(KillTimer(window, 110));
    collect_until(6, slow.size() + 2);
    EXPECT_EQ(fast.size(), 6u) << "the killed timer fired";
    EXPECT_GE(slow.back() - slow[slow.size() - 2], 3000u);

    // The other window's timer is due after the destroyed one's would be.
    HWND other = make_window(200, 100, "Other");
    ASSERT_NE(SetTimer(other, 2, 5000, nullptr), 0u);
    ASSERT_TRUE(DestroyWindow(window));
    pump_until(WM_TIMER, &message);
    EXPECT_EQ(message.hwnd, other);
    EXPECT_EQ(message.wParam, 2u);
}

TEST_F(MessageLoopTest, HeadlessSnapshotsFollowChangesAtMostOnceAMinuteAndAtTheEnd)
{
    clock_set_scale(2000);
    testing::internal::CaptureStdout();
    HWND window = make_window(80, 60, "Durandex");
    const ULONGLONG start = clock_now_ms();
    HDC dc = GetDC(window);
    ASSERT_TRUE(TextOutA(dc, 0, 0, "hello", 5));
    ReleaseDC(window, dc);
    ASSERT_NE(SetTimer(window, 1, 1000, nullptr), 0u);
    MSG message;
    while (pump_one(&message)) {
        if (message.message == WM_TIMER && clock_now_ms() - start >= 130000) {
            PostQuitMessage(3);
        }
    }
    // One snapshot for the change after a minute, none for the unchanged
    // second minute, one at the end.
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Durandex\nhello\n\n\nDurandex\nhello\n\n\n");
    EXPECT_EQ(message.wParam, 3u);
}

}  // namespace
