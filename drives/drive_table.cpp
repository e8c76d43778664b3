#include "drives/drive_table.h"

#include <cstdio>
#include <cstring>

#include "drives/dialog_layout.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "platform/win32.h"

namespace {

const DrivesDialogLayout& layout = drives_dialog_layout;
constexpr double bytes_per_megabyte = 1048576.0;

void draw_text(HDC dc, int x, int y, const char* text)
{
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

void draw_rule(HDC dc, int y)
{
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, layout.rule_margin, y, nullptr);
    LineTo(dc, window_settings.dialog_width - layout.rule_margin, y);
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
        BitBlt(dc, layout.type_tile_x, y, tile_width, tile_height, tiles,
               (static_cast<int>(drive->drive_type) - 2) * tile_width, 0, SRCCOPY);
    }
    draw_text(dc, layout.fs_x, y, drive->fs_name);
    draw_text(dc, layout.volume_x, y, drive->volume_name);
    draw_megabytes(dc, layout.free_x, y, free_bytes(drive));
    draw_megabytes(dc, layout.total_x, y, total_bytes(drive));
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
    draw_text(dc, layout.volume_head_x, layout.heads.y, "Volume");
    draw_text(dc, layout.free_head_x, layout.heads.y, "Free MB");
    draw_text(dc, layout.total_head_x, layout.heads.y, "Total MB");
    draw_rule(dc, layout.rule.y);

    HDC tiles = window_settings.drive_type_bitmap != nullptr ? CreateCompatibleDC(dc) : nullptr;
    HGDIOBJ previous = tiles != nullptr ? SelectObject(tiles, window_settings.drive_type_bitmap) : nullptr;
    int position = 0;
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        draw_drive_row(dc, tiles, drive, drive_row_y(position++));
    }
    if (tiles != nullptr) {
        SelectObject(tiles, previous);
        DeleteDC(tiles);
    }
    draw_rule(dc, drive_row_y(position));
    EndPaint(dialog, &paint);
}
