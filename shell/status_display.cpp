#include "shell/status_display.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "records/run_settings.h"
#include "records/window_layout.h"
#include "records/window_settings.h"

namespace {

constexpr COLORREF error_colour = 0x000000FF;
const MainWindowLayout& layout = main_window_layout;

struct Heading {
    int x;
    const char* text;
};

void set_window_colours(HDC dc)
{
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
}

void text_at(HDC dc, int x, int y, const char* text)
{
    TextOutA(dc, x, y, text, (int)strlen(text));
}

// Copies part of `bitmap` through the memory context, which gets its
// previous bitmap back afterwards.
void copy_bitmap_part(HDC dc, HDC memory, HBITMAP bitmap, int x, int y, int width, int height,
                      int source_x_px, int source_y_px)
{
    HGDIOBJ previous = SelectObject(memory, bitmap);
    if (previous == nullptr) {
        return;
    }
    BitBlt(dc, x, y, width, height, memory, source_x_px, source_y_px, SRCCOPY);
    SelectObject(memory, previous);
}

void draw_anim_frame(HDC dc, HDC memory, int frame)
{
    copy_bitmap_part(dc, memory, window_settings.anim_bitmap, layout.anim_x, layout.anim_y,
                     layout.anim_frame_width, layout.anim_frame_height, frame * layout.anim_frame_width, 0);
}

void draw_tile(HDC dc, HDC memory, int x, int y, int tile_x, int tile_y)
{
    copy_bitmap_part(dc, memory, window_settings.tiles_bitmap, x, y, tile_width, tile_height, tile_x,
                     tile_y);
}

void draw_letter_tile(HDC dc, HDC memory, int x, int y, const Drive* drive)
{
    const int index = drive->root_path[0] - 'A';
    draw_tile(dc, memory, x, y, (index % layout.tiles_per_row) * tile_width,
              (index / layout.tiles_per_row) * tile_height);
}

void draw_heading(HDC dc, HDC memory)
{
    // Sized to the text, so that it always fits.
    char version[sizeof "Durandex Version " + std::char_traits<char>::length(durandex_version)];
    snprintf(version, sizeof version, "Durandex Version %s", durandex_version);
    text_at(dc, layout.heading_text_x, layout.heading_y, version);
    copy_bitmap_part(dc, memory, window_settings.tiles_bitmap, layout.emblem_x, layout.heading_y,
                     layout.emblem_width, layout.emblem_height, layout.emblem_tile_x, layout.emblem_tile_y);
    draw_anim_frame(dc, memory, 0);
}

void draw_rule(HDC dc, int y)
{
    MoveToEx(dc, layout.margin, y, nullptr);
    LineTo(dc, window_settings.window_width - layout.margin, y);
}

void draw_table_head(HDC dc)
{
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ previous = SelectObject(dc, pen);
    const Heading headings[] = {
        {layout.margin, "Task List"}, {layout.copy_x, "Copy"},       {layout.compare_x, "Comp"},
        {layout.error_x, "Err"},      {layout.status_x, "Status"},
    };
    draw_rule(dc, layout.upper_rule.y);
    for (const Heading& heading : headings) {
        text_at(dc, heading.x, layout.headings.y, heading.text);
    }
    draw_rule(dc, layout.lower_rule.y);
    if (previous != nullptr) {
        SelectObject(dc, previous);
    }
    DeleteObject(pen);
}

void draw_count(HDC dc, int x, int y, DWORD count)
{
    char text[16];  // room for any int
    snprintf(text, sizeof text, "%d", (int)count);
    text_at(dc, x, y, text);
}

void draw_error_count(HDC dc, int y, DWORD count)
{
    if (count > 0) {
        SetTextColor(dc, error_colour);
    }
    draw_count(dc, layout.error_x, y, count);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
}

void draw_task_row(HDC dc, HDC memory, Task* task, int k)
{
    const int y = task_row_y(window_settings.window_height, k);
    task->row_y.store(y);
    draw_letter_tile(dc, memory, layout.source_x, y, task->source_drive);
    draw_tile(dc, memory, layout.arrow_x, y, layout.arrow_tile_x, layout.arrow_tile_y);
    if (task->target_drive != nullptr) {
        draw_letter_tile(dc, memory, layout.target_x, y, task->target_drive);
    }
    draw_count(dc, layout.copy_x, y, task->copy_count.load());
    draw_count(dc, layout.compare_x, y, task->compare_count.load());
    draw_error_count(dc, y, task->error_count.load());
    text_at(dc, layout.status_x, y, task_state_word(task->state.load()));
}

void draw_elapsed_line(HDC dc, DWORD elapsed_seconds)
{
    char text[32];  // room for the longest line, with -32768 days
    if (format_elapsed_time(elapsed_seconds, text, sizeof text)) {
        text_at(dc, layout.heading_text_x, layout.elapsed.y, text);
    }
}

// A count is drawn only when it differs from the one last drawn, which it
// then becomes.
bool take_if_changed(DWORD count, DWORD* shown)
{
    if (count == *shown) {
        return false;
    }
    *shown = count;
    return true;
}

void refresh_task_counts(HDC dc, Task* task)
{
    const int y = (int)task->row_y.load();
    if (take_if_changed(task->copy_count.load(), &task->shown_copy_count)) {
        draw_count(dc, layout.copy_x, y, task->shown_copy_count);
    }
    if (take_if_changed(task->compare_count.load(), &task->shown_compare_count)) {
        draw_count(dc, layout.compare_x, y, task->shown_compare_count);
    }
    if (take_if_changed(task->error_count.load(), &task->shown_error_count)) {
        draw_error_count(dc, y, task->shown_error_count);
    }
}

}  // namespace

void paint_main_window(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc == nullptr) {
        return;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    set_window_colours(dc);
    draw_heading(dc, memory);
    draw_table_head(dc);
    int k = 0;
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        draw_task_row(dc, memory, task, k++);
    }
    if (run_settings.run_start_time != 0) {
        draw_elapsed_line(dc, elapsed_run_seconds(time(nullptr)));
    }
    if (memory != nullptr) {
        DeleteDC(memory);
    }
    EndPaint(window, &paint);
}

void refresh_display(HWND window)
{
    window_settings.anim_frame = (BYTE)(window_settings.anim_frame % 60 + 1);
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return;
    }
    HDC memory = CreateCompatibleDC(dc);
    if (memory != nullptr) {
        draw_anim_frame(dc, memory, window_settings.anim_frame % 3);
        DeleteDC(memory);
    }
    set_window_colours(dc);
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        refresh_task_counts(dc, task);
    }
    ReleaseDC(window, dc);
}

BOOL format_elapsed_time(DWORD elapsed_seconds, char* text, size_t size)
{
    const auto days = (int16_t)(elapsed_seconds / 86400);
    const auto hours = (int16_t)(elapsed_seconds % 86400 / 3600);
    const auto minutes = (int16_t)(elapsed_seconds % 3600 / 60);
    const int length = snprintf(text, size, "%d Days, %2.2d Hrs, %2.2d Mins", days, hours, minutes);
    if (length < 0 || (size_t)length >= size) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

void draw_elapsed_time(HWND window, DWORD elapsed_seconds)
{
    HDC dc = GetDC(window);
    if (dc == nullptr) {
        return;
    }
    set_window_colours(dc);
    draw_elapsed_line(dc, elapsed_seconds);
    ReleaseDC(window, dc);
}
