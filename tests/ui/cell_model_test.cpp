// What windows show: text, rules, bitmap tiles and frames, colours, growth,
// and drawing from several threads at once.
#include <algorithm>
#include <cstring>
#include <thread>

#include "tests/ui/ui_fixture.h"

namespace {

constexpr COLORREF red = RGB(255, 0, 0);

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

    static void rule(HDC dc, int y, int width)
    {
        MoveToEx(dc, 10, y, nullptr);
        ASSERT_TRUE(LineTo(dc, width - 10, y));
    }

    void blit(HDC dc, int x, int y, int cx, int cy, HBITMAP bitmap, int x1, int y1)
    {
        HDC memory = CreateCompatibleDC(dc);
        ASSERT_NE(memory, nullptr);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        ASSERT_NE(previous, nullptr);
        ASSERT_TRUE(BitBlt(dc, x, y, cx, cy, memory, x1, y1, SRCCOPY));
        SelectObject(memory, previous);
        ASSERT_TRUE(DeleteDC(memory));
    }

    void letter(HDC dc, int x, int y, char drive)
    {
        const int index = drive - 'A';
        blit(dc, x, y, 32, 16, tiles_, (index % 4) * 32, (index / 4) * 16);
    }

    static Cell cell_at(HWND window, int col, int row)
    {
        for (const WindowView& view : ui_view().windows) {
            if (view.handle == window) {
                return view.cells.at(static_cast<size_t>(row) * view.cols + col);
            }
        }
        ADD_FAILURE() << "window not shown";
        return Cell{};
    }

    HBITMAP tiles_ = nullptr;
    HBITMAP frames_ = nullptr;
};

TEST_F(CellModelTest, TheMainWindowLayoutReadsAsATable)
{
    // 400 x 180: two tasks; caption and menu bar take 40 pixels.
    resources_register_menu("TestMenu", {{"&Start", 101, {}}, {"&Quit", 100, {}}});
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.lpszClassName = "MainTest";
    window_class.lpszMenuName = "TestMenu";
    ASSERT_NE(RegisterClassA(&window_class), 0);
    HWND window = CreateWindowExA(0, "MainTest", "Durandex", WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 180, nullptr, nullptr, nullptr,
                                  nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_NE(GetMenu(window), nullptr);

    HDC dc = GetDC(window);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    text(dc, 80, 5, "Durandex Version 3.09.02");
    blit(dc, 280, 5, 96, 32, tiles_, 32, 112);
    blit(dc, 10, 10, 32, 40, frames_, 0, 0);
    text(dc, 80, 25, "0 Days, 01 Hrs, 05 Mins");
    rule(dc, 60, 400);
    text(dc, 10, 65, "Task List");
    text(dc, 120, 65, "Copy");
    text(dc, 185, 65, "Comp");
    text(dc, 250, 65, "Err");
    text(dc, 300, 65, "Status");
    rule(dc, 85, 400);
    letter(dc, 10, 100, 'C');
    blit(dc, 42, 100, 32, 16, tiles_, 0, 112);
    letter(dc, 74, 100, 'D');
    text(dc, 120, 100, "17");
    text(dc, 185, 100, "16");
    text(dc, 250, 100, "0");
    text(dc, 300, 100, "Working");
    letter(dc, 10, 120, 'M');
    blit(dc, 42, 120, 32, 16, tiles_, 0, 112);
    text(dc, 120, 120, "12");
    text(dc, 185, 120, "11");
    SetTextColor(dc, red);
    text(dc, 250, 120, "3");
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    text(dc, 300, 120, "Paused ");
    ASSERT_EQ(ReleaseDC(window, dc), 1);

    std::string rule_row = " ";
    for (int col = 1; col <= 48; ++col) {
        rule_row += "─";
    }
    EXPECT_EQ(ui_text_of(window),
              " ▄█▄      Durandex Version 3.09.02 ░DURANDEX░\n"
              " ▀█▀      0 Days, 01 Hrs, 05 Mins  ▔▔▔▔▔▔▔▔▔▔\n" +
                  rule_row + "\n"
              " Task List     Copy    Comp    Err   Status\n" +
                  rule_row + "\n"
              "  C:  ─▶  D:   17      16      0     Working\n"
              "  M:  ─▶       12      11      3     Paused\n");
    EXPECT_EQ(cell_at(window, 31, 6).tone, CellTone::Red);
    EXPECT_EQ(cell_at(window, 31, 5).tone, CellTone::Normal);
    EXPECT_EQ(cell_at(window, 37, 6).tone, CellTone::Normal);
}

TEST_F(CellModelTest, AnAnimationFrameIsAFourByTwoBlockAndTheNextFrameReplacesIt)
{
    HWND window = make_window(120, 80);
    HDC dc = GetDC(window);
    blit(dc, 10, 10, 32, 40, frames_, 0, 0);
    EXPECT_EQ(ui_text_of(window), " ▄█▄\n ▀█▀\n");
    blit(dc, 10, 10, 32, 40, frames_, 32, 0);
    EXPECT_EQ(ui_text_of(window), " ▄▄▄\n ███\n");
    ReleaseDC(window, dc);
}

TEST_F(CellModelTest, TextIsClippedAtTheRightEdgeAndBelowTheLastRow)
{
    HWND window = make_window(48, 60);  // 6 columns, 2 rows
    HDC dc = GetDC(window);
    text(dc, 16, 0, "abcdefgh");
    text(dc, 0, 200, "lost");
    text(dc, -8, 25, "xyz");
    ReleaseDC(window, dc);
    EXPECT_EQ(ui_text_of(window), "  abcd\nyz\n");
}

TEST_F(CellModelTest, AWindowThatGrowsByTwentyPixelsGainsARowAndKeepsItsContent)
{
    HWND window = make_window(400, 140);
    HDC dc = GetDC(window);
    text(dc, 10, 85, "last row");
    ReleaseDC(window, dc);
    const std::string before = ui_text_of(window);
    ASSERT_EQ(std::count(before.begin(), before.end(), '\n'), 6);  // client 120: rows 0..5

    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 400, 160,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    const std::string grown = ui_text_of(window);
    EXPECT_EQ(std::count(grown.begin(), grown.end(), '\n'), 7);
    EXPECT_EQ(grown, before + "\n");
    // The uncovered row is to be painted.
    MSG message;
    ASSERT_TRUE(pump_one(&message));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_PAINT));

    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 400, 120,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE));
    const std::string shrunk = ui_text_of(window);
    EXPECT_EQ(std::count(shrunk.begin(), shrunk.end(), '\n'), 5);
}

TEST_F(CellModelTest, ErasingPaintBlanksOnlyTheInvalidRectangle)
{
    HWND window = make_window(400, 160);
    HDC dc = GetDC(window);
    text(dc, 10, 100, "C: -> D:   1   2");
    ReleaseDC(window, dc);
    RECT target{74, 100, 106, 120};
    ASSERT_TRUE(InvalidateRect(window, &target, TRUE));
    PAINTSTRUCT paint;
    HDC paint_dc = BeginPaint(window, &paint);
    ASSERT_NE(paint_dc, nullptr);
    EXPECT_TRUE(paint.fErase);
    EXPECT_EQ(paint.rcPaint.left, 74);
    EXPECT_EQ(paint.rcPaint.bottom, 120);
    EXPECT_TRUE(EndPaint(window, &paint));
    EXPECT_EQ(ui_text_of(window), "\n\n\n\n\n C: -> D:       2\n\n");
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

    SetLastError(0xdeadbeef);
    EXPECT_EQ(GetDC(window), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(TextOutA(dc, 0, 0, "x", 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(InvalidateRect(window, nullptr, TRUE));
}

TEST_F(CellModelTest, BitmapArtMustMatchItsPixelSize)
{
    EXPECT_FALSE(resources_register_bitmap("Narrow", 32, 16, {"abc"}));
    EXPECT_FALSE(resources_register_bitmap("Ragged", 64, 32, {"abcdefgh", "abc"}));
    EXPECT_FALSE(resources_register_bitmap("Empty", 32, 16, {}));
    EXPECT_TRUE(resources_register_bitmap("Fits", 32, 16, {"ab▶d"}));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadBitmapA(nullptr, "Narrow"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    HBITMAP fits = LoadBitmapA(nullptr, "fits");  // names match without case
    ASSERT_NE(fits, nullptr);
    EXPECT_TRUE(DeleteObject(fits));
}

TEST_F(CellModelTest, WorkersDrawStatusCellsWhileTheWindowThreadPaints)
{
    HWND window = make_window(400, 200);  // four task rows
    constexpr int workers = 4;
    constexpr int rounds = 300;
    std::vector<std::thread> threads;
    for (int worker = 0; worker < workers; ++worker) {
        threads.emplace_back([window, worker] {
            const int row_y = 100 + 20 * worker;
            for (int round = 0; round < rounds; ++round) {
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
    do {
        ASSERT_TRUE(pump_one(&message));
    } while (message.message != WM_USER);
    finisher.join();
    const std::string shown = ui_text_of(window);
    EXPECT_EQ(shown, "\n\n\n\n\n"
                     "                                     Working\n"
                     "                                     Working\n"
                     "                                     Working\n"
                     "                                     Working\n");
}

}  // namespace
