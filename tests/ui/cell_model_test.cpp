// What windows show: text, rules, bitmap tiles and frames, colours, growth,
// and drawing from several threads at once.
#include <algorithm>
#include <cstring>
#include <thread>

#include "tests/ui/ui_fixture.h"

namespace {

class CellModelTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        // Letter tiles A..Z in rows of four, the arrow and a two-row emblem.
        ASSERT_TRUE(resources_register_bitmap(MAKEINTRESOURCEA(122), 128, 144,
                                              {" A:  B:  C:  D: ", " E:  F:  G:  H: ",
                                               " I:  J:  K:  L: ", " M:  N:  O:  P: ",
                                               " Q:  R:  S:  T: ", " U:  V:  W:  X: ",
                                               " Y:  Z:         ", " ─▶ ░DURANDEX░  ",
                                               "    ▔▔▔▔▔▔▔▔▔▔  "}));
        // Three animation frames of 32 x 40 side by side.
        ASSERT_TRUE(resources_register_bitmap(MAKEINTRESOURCEA(120), 96, 40,
                                              {"▄█▄ ▄▄▄ ▄█▄ ", "▀█▀ ███ ▀█▀ "}));
        tiles_ = LoadBitmapA(nullptr, MAKEINTRESOURCEA(122));
        frames_ = LoadBitmapA(nullptr, MAKEINTRESOURCEA(120));
        ASSERT_NE(tiles_, nullptr);
        ASSERT_NE(frames_, nullptr);
    }

    void TearDown() override
    {
        DeleteObject(tiles_);
        DeleteObject(frames_);
        UiTest::TearDown();
    }

    static void text(HDC dc, int x, int y, const char* value)
    {
        ASSERT_TRUE(TextOutA(dc, x, y, value, static_cast<int>(strlen(value))));
    }

    static void text_in(HWND window, int x, int y, const char* value)
    {
        HDC dc = GetDC(window);
        text(dc, x, y, value);
        ReleaseDC(window, dc);
    }

    static void rule(HDC dc, int y)
    {
        MoveToEx(dc, 10, y, nullptr);
        ASSERT_TRUE(LineTo(dc, 390, y));
    }

    static void blit(HDC dc, int x, int y, int cx, int cy, HBITMAP bitmap, int x1, int y1)
    {
        HDC memory = CreateCompatibleDC(dc);
        ASSERT_NE(memory, nullptr);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ASSERT_NE(previous, nullptr);
        ASSERT_TRUE(BitBlt(dc, x, y, cx, cy, memory, x1, y1, SRCCOPY));
        SelectObject(memory, previous);
        ASSERT_TRUE(DeleteDC(memory));
    }

    static size_t rows_of(HWND window)
    {
        const std::string shown = ui_text_of(window);
        return static_cast<size_t>(std::count(shown.begin(), shown.end(), '\n'));
    }

    HBITMAP tiles_ = nullptr;
    HBITMAP frames_ = nullptr;
};

TEST_F(CellModelTest, TheMainWindowLayoutReadsAsATableAndTheNextFrameReplacesTheLast)
{
    // 400 x 180: two tasks; caption and menu bar take 40 pixels.
    resources_register_menu("TestMenu", {{"&Start", 101, {}}, {"&Quit", 100, {}}});
    ASSERT_NE(register_class("MainTest", DefWindowProcA, "TestMenu"), 0);
    HWND window = CreateWindowExA(0, "MainTest", "Durandex", WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 180, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(GetMenu(window), nullptr);

    HDC dc = GetDC(window);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    const struct {
        int x;
        int y;
        const char* value;
    } texts[] = {{80, 5, "Durandex Version 3.09.02"}, {80, 25, "0 Days, 01 Hrs, 05 Mins"},
                 {10, 65, "Task List"}, {120, 65, "Copy"}, {185, 65, "Comp"}, {250, 65, "Err"},
                 {300, 65, "Status"}, {120, 100, "17"}, {185, 100, "16"}, {250, 100, "0"},
                 {300, 100, "Working"}, {120, 120, "12"}, {185, 120, "11"}, {300, 120, "Paused "}};
    for (const auto& each : texts) {
        text(dc, each.x, each.y, each.value);
    }
    blit(dc, 280, 5, 96, 32, tiles_, 32, 112);
    blit(dc, 10, 10, 32, 40, frames_, 0, 0);
    rule(dc, 60);
    rule(dc, 85);
    // Drive letter tiles C, D and M, and the arrow between them.
    blit(dc, 10, 100, 32, 16, tiles_, 64, 0);
    blit(dc, 42, 100, 32, 16, tiles_, 0, 112);
    blit(dc, 74, 100, 32, 16, tiles_, 96, 0);
    blit(dc, 10, 120, 32, 16, tiles_, 0, 48);
    blit(dc, 42, 120, 32, 16, tiles_, 0, 112);
    SetTextColor(dc, RGB(255, 0, 0));
    text(dc, 250, 120, "3");
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));

    EXPECT_EQ(ui_text_of(window),
              " ▄█▄      Durandex Version 3.09.02 ░DURANDEX░\n"
              " ▀█▀      0 Days, 01 Hrs, 05 Mins  ▔▔▔▔▔▔▔▔▔▔\n" +
                  rule_row() + "\n Task List     Copy    Comp    Err   Status\n" + rule_row() +
                  "\n"
                  "  C:  ─▶  D:   17      16      0     Working\n"
                  "  M:  ─▶       12      11      3     Paused\n");
    const WindowView view = view_of(window);
    EXPECT_EQ(view.cells.at(6 * 50 + 31).tone, CellTone::Red);
    EXPECT_EQ(view.cells.at(5 * 50 + 31).tone, CellTone::Normal);
    EXPECT_EQ(view.cells.at(6 * 50 + 37).tone, CellTone::Normal);

    blit(dc, 10, 10, 32, 40, frames_, 32, 0);
    ASSERT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_TRUE(ui_text_of(window).starts_with(" ▄▄▄      Durandex Version 3.09.02 ░DURANDEX░\n"
                                               " ███      0 Days"));
}

TEST_F(CellModelTest, TextIsClippedAtTheEdgesAndAnErasingPaintBlanksOnlyTheInvalidRectangle)
{
    HWND small = make_window(48, 60);  // 6 columns, 2 rows
    text_in(small, 16, 0, "abcdefgh");
    text_in(small, 0, 200, "lost");
    text_in(small, -8, 25, "xyz");
    EXPECT_EQ(ui_text_of(small), "  abcd\nyz\n");

    HWND window = make_window(400, 160);
    text_in(window, 10, 100, "C: -> D:   1   2");
    RECT target{74, 100, 106, 120};
    ASSERT_TRUE(InvalidateRect(window, &target, TRUE));
    PAINTSTRUCT paint;
    ASSERT_NE(BeginPaint(window, &paint), nullptr);
    EXPECT_TRUE(paint.fErase);
    EXPECT_EQ(paint.rcPaint.left, 74);
    EXPECT_EQ(paint.rcPaint.bottom, 120);
    EXPECT_TRUE(EndPaint(window, &paint));
    EXPECT_EQ(ui_text_of(window), "\n\n\n\n\n C: -> D:       2\n\n");
}

TEST_F(CellModelTest, AWindowThatGrowsByTwentyPixelsGainsARowAndKeepsItsContent)
{
    HWND window = make_window(400, 140);
    text_in(window, 10, 85, "last row");
    const std::string before = ui_text_of(window);
    ASSERT_EQ(rows_of(window), 6u);  // client 120: rows 0..5
    const UINT flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 400, 160, flags));
    EXPECT_EQ(ui_text_of(window), before + "\n");
    // The uncovered row is to be painted.
    MSG message;
    ASSERT_TRUE(pump_one(&message));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 400, 120, flags));
    EXPECT_EQ(rows_of(window), 5u);
}

TEST_F(CellModelTest, ContextsThatDrawNowhere)
{
    HWND window = make_window(200, 100);
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(TextOutA(screen, 0, 0, "nowhere", 7));
    EXPECT_EQ(ReleaseDC(nullptr, screen), 1);

    HDC dc = GetDC(window);
    ASSERT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(TextOutA(dc, 0, 0, "gone", 4));
    EXPECT_EQ(ReleaseDC(window, dc), 1);
    EXPECT_EQ(ui_text_of(window), "");

    EXPECT_FAILS(GetDC(window), nullptr, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FAILS(TextOutA(dc, 0, 0, "x", 1), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(InvalidateRect(window, nullptr, TRUE));
}

TEST_F(CellModelTest, BitmapArtMustMatchItsPixelSize)
{
    EXPECT_FALSE(resources_register_bitmap("Narrow", 32, 16, {"abc"}));
    EXPECT_FALSE(resources_register_bitmap("Ragged", 64, 32, {"abcdefgh", "abc"}));
    EXPECT_FALSE(resources_register_bitmap("Empty", 32, 16, {}));
    EXPECT_TRUE(resources_register_bitmap("Fits", 32, 16, {"ab▶d"}));
    EXPECT_FAILS(LoadBitmapA(nullptr, "Narrow"), nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
    HBITMAP fits = LoadBitmapA(nullptr, "fits");  // names match without case
    ASSERT_NE(fits, nullptr);
    EXPECT_TRUE(DeleteObject(fits));
}

TEST_F(CellModelTest, WorkersDrawStatusCellsWhileTheWindowThreadPaints)
{
    HWND window = make_window(400, 200);  // four task rows
    std::vector<std::thread> threads;
    for (int worker = 0; worker < 4; ++worker) {
        threads.emplace_back([window, worker] {
            const int row_y = 100 + 20 * worker;
            for (int round = 0; round < 300; ++round) {
                HDC dc = GetDC(window);
                SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                TextOutA(dc, 300, row_y, round % 2 == 0 ? "Paused " : "Working", 7);
                ReleaseDC(window, dc);
                RECT cell{300, row_y, 400, row_y + 20};
                InvalidateRect(window, &cell, FALSE);
            }
        });
    }
    std::thread finisher([&threads, window] {
        for (std::thread& thread : threads) {
            thread.join();
        }
        PostMessageA(window, WM_USER, 0, 0);
    });
    MSG message;
    pump_until(WM_USER, &message);
    finisher.join();
    const std::string working = std::string(37, ' ') + "Working\n";
    EXPECT_EQ(ui_text_of(window), "\n\n\n\n\n" + working + working + working + working);
}

}  // namespace
