// The window system on the headless backend: timers on the clock seam,
// headless snapshots, choosing greyed items, dialog templates. The queue and
// quit codes, signals, drawing, dialogs driven by keys and clicks, a worker's
// box, boxes on standard error and the instance across processes are pinned
// by the program-run, safety, terminal, status display and drives tests.
#include "platform/ui/dialog_template.h"
#include "tests/ui/dialog_template_bytes.h"
#include "tests/ui/ui_fixture.h"

namespace {

class WindowSystem : public UiTest {};

TEST_F(WindowSystem, TimersFireAtTheirPeriodsAndStopWhenKilledOrTheirWindowIsDestroyed)
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
    // A loaded machine may hold the pump back past several periods, so the
    // counts of the two timers need not keep their ratio; their spacing must.
    for (size_t i = 1; i < slow.size(); ++i) {
        EXPECT_GE(slow[i] - slow[i - 1], 3000u) << "slow tick " << i;
    }

    ASSERT_TRUE(KillTimer(window, 110));
    EXPECT_FAILS(KillTimer(window, 110), FALSE, ERROR_INVALID_PARAMETER);
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

TEST_F(WindowSystem, HeadlessSnapshotsFollowChangesAtMostOnceAMinuteAndAtTheEnd)
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

// Greyed items are drawn dim in the terminal runs; here they give no command.
TEST_F(WindowSystem, ChoosingAGreyedOrMissingItemGivesNoCommand)
{
    resources_register_menu("DurandexMenu", {{"&Start", 101, {}}, {"&Options", 0, {{"&Random Access", 132, {}}}}});
    ASSERT_NE(register_class("DurandexWClass", recording_proc, "DurandexMenu"), 0);
    HWND window = CreateWindowExA(0, "DurandexWClass", "Durandex", WS_VISIBLE, 0, 0, 400, 140, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(EnableMenuItem(GetMenu(window), 101, MF_GRAYED), -1);
    EXPECT_FALSE(ui_choose_menu_item(window, 101));
    EXPECT_FALSE(ui_choose_menu_item(window, 999));
    EXPECT_TRUE(ui_choose_menu_item(window, 132));
    PostQuitMessage(0);
    MSG message;
    while (pump_one(&message)) {
    }
    EXPECT_EQ(recorded_messages(WM_COMMAND), std::vector<UINT>{132});
}

// Opening and driving the Drives dialog is seen in the drives tests and the
// terminal runs; a template cut short or with an item running past its end
// must be refused rather than read beyond.
TEST_F(WindowSystem, DialogTemplatesAreReadWithinTheirBoundsAndMalformedOnesRefused)
{
    std::vector<WORD> words = drives_template(1);
    DialogTemplate parsed;
    ASSERT_TRUE(parse_dialog_template(words.data(), words.size() * 2, &parsed));
    EXPECT_EQ(parsed.title, "Drives");
    ASSERT_EQ(parsed.items.size(), 3u);
    EXPECT_EQ(parsed.items[2].text + " " + std::to_string(parsed.items[2].id) + " " + parsed.items[2].class_name,
              "C: 400 BUTTON");
    EXPECT_FALSE(parse_dialog_template(words.data(), words.size() * 2 - 2, &parsed)) << "cut short";
    words.back() = 40;
    EXPECT_FALSE(parse_dialog_template(words.data(), words.size() * 2, &parsed)) << "creation data past the end";
    words = drives_template(1);
    words[4] = 4;
    EXPECT_FALSE(parse_dialog_template(words.data(), words.size() * 2, &parsed)) << "more items than there are";
}

// The program tells the window system where its rows begin; a window takes
// the layout registered for its kind when it is made, and malformed layouts
// are refused.
TEST_F(WindowSystem, WindowsTakeTheRowLayoutRegisteredForTheirKindWhenMade)
{
    EXPECT_FALSE(resources_register_row_layout(WindowKind::TopLevel, {{30, 30}, 10})) << "starts must ascend";
    EXPECT_FALSE(resources_register_row_layout(WindowKind::TopLevel, {{0, 30}, 10})) << "row 0 begins at 0";
    EXPECT_FALSE(resources_register_row_layout(WindowKind::TopLevel, {{30}, 0})) << "no pitch";
    HWND plain = make_window(80, 80);
    ASSERT_TRUE(resources_register_row_layout(WindowKind::TopLevel, {{30, 33}, 10}));
    HWND laid_out = make_window(80, 80);
    for (HWND window : {plain, laid_out}) {
        HDC dc = GetDC(window);
        for (const int y : {29, 30, 33, 43}) {
            const std::string text = std::to_string(y);
            TextOutA(dc, 0, y, text.c_str(), static_cast<int>(text.size()));
        }
        ReleaseDC(window, dc);
    }
    // Every 20 pixels without a layout; then 0-29, 30-32 and 10 from 33.
    EXPECT_EQ(ui_text_of(plain), "\n33\n43\n");
    EXPECT_EQ(ui_text_of(laid_out), "29\n30\n33\n43\n\n");
}

}  // namespace
