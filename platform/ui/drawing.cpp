// Text, lines and bitmap copies into a window's cells.
#include "platform/errors.h"
#include "platform/ui/ui_state.h"

namespace {

constexpr char32_t horizontal_rule = U'\u2500';
constexpr char32_t vertical_rule = U'\u2502';

// The window a context draws into, or null when it draws nowhere.
UiWindow* target_window(UiState& state, const UiDc& dc)
{
    if (dc.memory || dc.window == nullptr) {
        return nullptr;
    }
    return ui_find_window(state, dc.window);
}

char32_t cell_char(char byte)
{
    const auto value = static_cast<unsigned char>(byte);
    return value < 0x20 ? U' ' : static_cast<char32_t>(value);
}

void draw_line(UiWindow* window, POINT from, POINT to)
{
    CellGrid* grid = &window->grid;
    if (from.y == to.y) {
        const int row = row_of_y(window->layout, from.y);
        const LONG left = from.x < to.x ? from.x : to.x + 1;
        const LONG right = from.x < to.x ? to.x - 1 : from.x;
        for (int col = column_of_x(left); col <= column_of_x(right); ++col) {
            grid_put(grid, col, row, Cell{horizontal_rule, CellTone::Normal});
        }
    } else if (from.x == to.x) {
        const int col = column_of_x(from.x);
        const LONG top = from.y < to.y ? from.y : to.y + 1;
        const LONG bottom = from.y < to.y ? to.y - 1 : from.y;
        for (int row = row_of_y(window->layout, top); row <= row_of_y(window->layout, bottom); ++row) {
            grid_put(grid, col, row, Cell{vertical_rule, CellTone::Normal});
        }
    }
}

// The art rows that the pixel rows [top, top + height) of a bitmap cover.
void bitmap_rows(const UiGdiObject& bitmap, int top, int height, int* first, int* count)
{
    const int art_rows = bitmap.art.rows;
    const int pixels = bitmap.pixel_height > 0 ? bitmap.pixel_height : 1;
    *first = top * art_rows / pixels;
    const int end = ((top + height) * art_rows + pixels - 1) / pixels;
    *count = end - *first;
}

}  // namespace

void ui_erase_pixels(UiWindow* window, const RECT& rect)
{
    const int left = column_of_x(rect.left < 0 ? 0 : rect.left);
    const int right = column_of_x(rect.right - 1);
    const int top = row_of_y(window->layout, rect.top < 0 ? 0 : rect.top);
    const int bottom = row_of_y(window->layout, rect.bottom - 1);
    if (right < left || bottom < top) {
        return;
    }
    grid_fill(&window->grid, left, top, right - left + 1, bottom - top + 1, Cell{});
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c)
{
    UiLock lock;
    const UiDc* dc = ui_find_dc(lock.state, hdc);
    if (dc == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    if (c < 0 || (c > 0 && lpString == nullptr)) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    UiWindow* window = target_window(lock.state, *dc);
    if (window == nullptr) {
        return TRUE;
    }
    const CellTone tone = ui_tone_for(dc->text, dc->back);
    const int row = row_of_y(window->layout, y);
    const int col = column_of_x(x);
    for (int i = 0; i < c; ++i) {
        grid_put(&window->grid, col + i, row, Cell{cell_char(lpString[i]), tone});
    }
    lock.mark_changed();
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt)
{
    UiLock lock;
    UiDc* dc = ui_find_dc(lock.state, hdc);
    if (dc == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    if (lppt != nullptr) {
        *lppt = dc->position;
    }
    dc->position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y)
{
    UiLock lock;
    UiDc* dc = ui_find_dc(lock.state, hdc);
    if (dc == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    const POINT from = dc->position;
    dc->position = POINT{x, y};
    UiWindow* window = target_window(lock.state, *dc);
    if (window != nullptr) {
        draw_line(window, from, POINT{x, y});
        lock.mark_changed();
    }
    return TRUE;
}

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    (void)rop;
    UiLock lock;
    const UiDc* dc = ui_find_dc(lock.state, hdc);
    const UiDc* source = ui_find_dc(lock.state, hdcSrc);
    if (dc == nullptr || source == nullptr) {
        return fail_with(ERROR_INVALID_HANDLE);
    }
    UiWindow* window = target_window(lock.state, *dc);
    const UiGdiObject* bitmap = ui_find_object(lock.state, source->bitmap);
    if (window == nullptr || bitmap == nullptr || bitmap->stock || cx <= 0 || cy <= 0 || x1 < 0 ||
        y1 < 0) {
        return TRUE;
    }
    int first_row = 0;
    int rows = 0;
    bitmap_rows(*bitmap, y1, cy, &first_row, &rows);
    const int first_col = column_of_x(x1);
    const int cols = column_of_x(x1 + cx - 1) - first_col + 1;
    grid_copy(&window->grid, column_of_x(x), row_of_y(window->layout, y), bitmap->art, first_col,
              first_row, cols, rows);
    lock.mark_changed();
    return TRUE;
}
