// The character-cell picture of a client area or a bitmap, and the mapping
// from the program's pixel coordinates to cells.
//
// Columns are 8 pixels wide. Rows are not of one height: each window maps
// pixel heights to rows by the row layout its program registered for it
// (platform/resources.h), or by a plain pitch when there is none.
#pragma once

#include <vector>

#include "platform/resources.h"
#include "platform/ui/backend.h"
#include "platform/win32.h"

struct CellGrid {
    int cols = 0;
    int rows = 0;
    std::vector<Cell> cells;
};

constexpr int cell_width_px = 8;
// The rows of a window whose program registered no row layout: one per
// caption height.
constexpr int plain_row_height_px = 20;

RowLayout plain_row_layout();

int column_of_x(int x);
// -1 above the first row.
int row_of_y(const RowLayout& layout, int y);
// How many rows a client area of that pixel height holds.
int rows_for_height(const RowLayout& layout, int height);

// Keeps the content at its place; new cells are blank.
void grid_resize(CellGrid* grid, int cols, int rows);
// Out-of-range cells are ignored by every operation below.
void grid_put(CellGrid* grid, int col, int row, Cell cell);
Cell grid_at(const CellGrid& grid, int col, int row);
void grid_fill(CellGrid* grid, int col, int row, int cols, int rows, Cell cell);
void grid_copy(CellGrid* target, int col, int row, const CellGrid& source, int source_col,
               int source_row, int cols, int rows);
