// The character-cell picture of a client area or a bitmap, and the mapping
// from the program's pixel coordinates to cells.
//
// Columns are 8 pixels wide. Rows are not of one height: the program's two
// windows place text, rules and tiles at pixel heights that a fixed pitch would
// either merge or spread out, so each window has a row layout that gives every
// heading, rule and table row a row of its own:
//   Main:   version, emblem and animation top (y < 20) row 0, elapsed time
//           (y 25) row 1, rule (60) row 2, headings (65) row 3, rule (85)
//           row 4, then one row per 20 pixels from y 100 (row 5).
//   Dialog: buttons at the top row 0, column heads (y 45) row 1, rule (63)
//           row 2, then one row per 24 pixels from y 66, so that a drive's
//           button (68 + 24 i) and its table row (70 + 24 i) share a row and
//           the closing rule (70 + 24 n) follows the last one.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/backend.h"
#include "platform/win32.h"

enum class RowLayout { Main, Dialog };

struct CellGrid {
    int cols = 0;
    int rows = 0;
    std::vector<Cell> cells;
};

constexpr int cell_width_px = 8;

int column_of_x(int x);
// -1 above the first row.
int row_of_y(RowLayout layout, int y);
// How many rows a client area of that pixel height holds.
int rows_for_height(RowLayout layout, int height);

// Keeps the content at its place; new cells are blank.
void grid_resize(CellGrid* grid, int cols, int rows);
// Out-of-range cells are ignored by every operation below.
void grid_put(CellGrid* grid, int col, int row, Cell cell);
Cell grid_at(const CellGrid& grid, int col, int row);
void grid_fill(CellGrid* grid, int col, int row, int cols, int rows, Cell cell);
void grid_copy(CellGrid* target, int col, int row, const CellGrid& source, int source_col,
               int source_row, int cols, int rows);

// Decodes UTF-8 (invalid bytes become U+FFFD).
std::u32string utf8_decode(const std::string& text);
std::string utf8_encode(char32_t ch);
