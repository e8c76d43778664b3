#include "drives/drive_table.h"

#include <cstdio>
#include <cstring>

#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/win32.h"

namespace {

constexpr int heads_y = 45;
constexpr int first_rule_y = 63;
constexpr int first_row_y = 70;
constexpr int row_height = 24;
constexpr int rule_margin = 10;
constexpr int tile_width = 32;
constexpr int tile_height = 16;
constexpr double bytes_per_megabyte = 1048576.0;

void draw_text(HDC dc, int x, int y, const char* text)
{
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

void draw_rule(HDC dc, int y)
{
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, rule_margin, y, nullptr);
    LineTo(dc, window_settings.dialog_width - rule_margin, y);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

void draw_megabytes(HDC dc, int x, int y, ULONGLONG bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%3.1f", static_cast<double>(bytes) / bytes_per_megabyte);
    draw_text(dc, x, y, text);
}

// The tile of a drive type sits at (type - 2) tiles from the bitmap's left.
void draw_drive_row(HDC dc, HDC tiles, const Drive* drive, int y)
{
    if (tiles != nullptr) {
        BitBlt(dc, 10, y, tile_width, tile_height, tiles, (static_cast<int>(drive->drive_type) - 2) * tile_width, 0,
               SRCCOPY);
    }
    draw_text(dc, 80, y, drive->fs_name);
    draw_text(dc, 125, y, drive->volume_name);
    draw_megabytes(dc, 250, y, free_bytes(drive));
    draw_megabytes(dc, 320, y, total_bytes(drive));
}

}  // namespace

void paint_drive_table(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    if (dc == nullptr) {
        return;
    }
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    draw_text(dc, 125, heads_y, "Volume");
    draw_text(dc, 240, heads_y, "Free MB");
    draw_text(dc, 310, heads_y, "Total MB");
    draw_rule(dc, first_rule_y);

    HDC tiles = window_settings.drive_type_bitmap != nullptr ? CreateCompatibleDC(dc) : nullptr;
    HGDIOBJ previous = tiles != nullptr ? SelectObject(tiles, window_settings.drive_type_bitmap) : nullptr;
    int y = first_row_y;
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        draw_drive_row(dc, tiles, drive, y);
        y += row_height;
    }
    if (tiles != nullptr) {
        SelectObject(tiles, previous);
        DeleteDC(tiles);
    }
    draw_rule(dc, y);
    EndPaint(dialog, &paint);
}
