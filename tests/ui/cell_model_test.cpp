// What windows show: clipped text, erasing paints, a context that draws
// nowhere, bitmap art. The main window's drawing is pinned by the status
// display tests, its growth by the drives tests, workers' drawing by the runs.
#include <cstring>

#include "tests/ui/ui_fixture.h"

namespace {

class CellModelTest : public UiTest {
protected:
    static void text_in(HWND window, int x, int y, const char* value)
    {
        HDC dc = GetDC(window);
        ASSERT_TRUE(TextOutA(dc, x, y, value, static_cast<int>(strlen(value))));
        ReleaseDC(window, dc);
    }

};

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

TEST_F(CellModelTest, AContextOfADestroyedWindowDrawsNowhere)
{
    HWND window = make_window(200, 100);
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

}  // namespace
