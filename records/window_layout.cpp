#include "records/window_layout.h"

MainWindowLayout main_window_layout = {
    .heading_y = 5,
    .anim_y = 10,
    .elapsed = {.top = 20, .y = 25},
    .upper_rule = {.top = 60, .y = 60},
    .headings = {.top = 63, .y = 65},
    .lower_rule = {.top = 80, .y = 85},
    .first_task_top = 100,
    .task_row_height = 20,
    .newest_row_above_bottom = 60,

    .margin = 10,
    .heading_text_x = 80,
    .emblem_x = 280,
    .anim_x = 10,
    .source_x = 10,
    .arrow_x = 42,
    .target_x = 74,
    .copy_x = 120,
    .compare_x = 185,
    .error_x = 250,
    .status_x = 300,
    .status_right = 400,

    .tiles_per_row = 4,
    .arrow_tile_x = 0,
    .arrow_tile_y = 112,
    .emblem_tile_x = 32,
    .emblem_tile_y = 112,
    .emblem_width = 96,
    .emblem_height = 32,
    .anim_frame_width = 32,
    .anim_frame_height = 40,
};

RowLayout main_window_rows()
{
    const MainWindowLayout& layout = main_window_layout;
    return RowLayout{{layout.elapsed.top, layout.upper_rule.top, layout.headings.top, layout.lower_rule.top,
                      layout.first_task_top},
                     layout.task_row_height};
}

LONG task_row_y(int window_height, int k)
{
    return window_height - main_window_layout.newest_row_above_bottom - main_window_layout.task_row_height * k;
}

RECT status_cell_rect(LONG row_y)
{
    return RECT{main_window_layout.status_x, row_y, main_window_layout.status_right,
                row_y + main_window_layout.task_row_height};
}

RECT newest_row_cells(int window_height, LONG left, LONG right)
{
    const LONG top = task_row_y(window_height, 0);
    return RECT{left, top, right, top + main_window_layout.task_row_height};
}
