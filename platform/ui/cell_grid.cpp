#include "platform/ui/cell_grid.h"

namespace {

bool inside(const CellGrid& grid, int col, int row)
{
    return col >= 0 && row >= 0 && col < grid.cols && row < grid.rows;
}

}  // namespace

int column_of_x(int x)
{
    return x >= 0 ? x / cell_width_px : -1;
}

RowLayout plain_row_layout()
{
    return RowLayout{{}, plain_row_height_px};
}

int row_of_y(const RowLayout& layout, int y)
{
    if (y < 0) {
        return -1;
    }
    int row = 0;
    for (const int start : layout.starts) {
        if (y < start) {
            return row;
        }
        ++row;
    }
    const int last_start = layout.starts.empty() ? 0 : layout.starts.back();
    return row + (y - last_start) / layout.pitch;
}

int rows_for_height(const RowLayout& layout, int height)
{
    return height > 0 ? row_of_y(layout, height - 1) + 1 : 0;
}

void grid_resize(CellGrid* grid, int cols, int rows)
{
    cols = cols > 0 ? cols : 0;
    rows = rows > 0 ? rows : 0;
    std::vector<Cell> cells(static_cast<size_t>(cols) * static_cast<size_t>(rows));
    for (int row = 0; row < rows && row < grid->rows; ++row) {
        for (int col = 0; col < cols && col < grid->cols; ++col) {
            cells[static_cast<size_t>(row) * cols + col] = grid_at(*grid, col, row);
        }
    }
    grid->cols = cols;
    grid->rows = rows;
    grid->cells = std::move(cells);
}

void grid_put(CellGrid* grid, int col, int row, Cell cell)
{
    if (inside(*grid, col, row)) {
        grid->cells[static_cast<size_t>(row) * grid->cols + col] = cell;
    }
}

Cell grid_at(const CellGrid& grid, int col, int row)
{
    return inside(grid, col, row) ? grid.cells[static_cast<size_t>(row) * grid.cols + col] : Cell{};
}

void grid_fill(CellGrid* grid, int col, int row, int cols, int rows, Cell cell)
{
    for (int r = row; r < row + rows; ++r) {
        for (int c = col; c < col + cols; ++c) {
            grid_put(grid, c, r, cell);
        }
    }
}

void grid_copy(CellGrid* target, int col, int row, const CellGrid& source, int source_col,
               int source_row, int cols, int rows)
{
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            if (inside(source, source_col + c, source_row + r)) {
                grid_put(target, col + c, row + r, grid_at(source, source_col + c, source_row + r));
            }
        }
    }
}
