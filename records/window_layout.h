// Where the main window draws, in pixels of its client area: its rows, each
// with the band of pixel heights it owns and the y it is drawn at, its
// columns and the tiles it takes from the tiles bitmap. The shell paints by
// it, the Drives dialog and the preparation ask for repaints by it, the
// workers draw their state words by it, and the window system is told its
// rows. Moving a row here moves all of them.
//
// Only tests change it, and only while no window is open and no worker runs.
#pragma once

#include "platform/resources.h"
#include "platform/win32.h"

// Every tile of the program's bitmaps (drive letters, the arrow, drive types).
constexpr int tile_width = 32;
constexpr int tile_height = 16;

// A row owns the pixel heights from `top` to the next row's top; its content
// is drawn at `y` within them.
struct LayoutRow {
    int top;
    int y;
};

struct MainWindowLayout {
    // Rows, top to bottom. The heading row begins at 0.
    int heading_y;  // version and emblem
    int anim_y;
    LayoutRow elapsed;
    LayoutRow upper_rule;
    LayoutRow headings;
    LayoutRow lower_rule;
    // Task rows: the oldest owns the heights from first_task_top, each newer
    // one the next task_row_height. The newest (the head of the task list)
    // is drawn newest_row_above_bottom above the window's bottom edge, so
    // that the window grows by task_row_height a task.
    int first_task_top;
    int task_row_height;
    int newest_row_above_bottom;

    // Columns.
    int margin;  // the rules' ends and "Task List"
    int heading_text_x;  // version and elapsed time
    int emblem_x;
    int anim_x;
    int source_x;
    int arrow_x;
    int target_x;
    int copy_x;
    int compare_x;
    int error_x;
    int status_x;
    int status_right;  // the end of the status cell, which a repaint covers

    // Places in the tiles and animation bitmaps.
    int tiles_per_row;
    int arrow_tile_x;
    int arrow_tile_y;
    int emblem_tile_x;
    int emblem_tile_y;
    int emblem_width;
    int emblem_height;
    int anim_frame_width;
    int anim_frame_height;
};

extern MainWindowLayout main_window_layout;

// The rows as the window system maps them to character rows.
RowLayout main_window_rows();

// The row of the task at position k of the task list (0 for the head) in a
// window that high.
LONG task_row_y(int window_height, int k);

// A task's status cell on the row at row_y, to be repainted.
RECT status_cell_rect(LONG row_y);

// The cells of the newest task's row from left to right, to be repainted.
RECT newest_row_cells(int window_height, LONG left, LONG right);
