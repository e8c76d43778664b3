#include "platform/ui/cell_grid.h"

namespace {

bool inside(const CellGrid& grid, int col, int row)
{
    return col >= 0 && row >= 0 && col < grid.cols && row < grid.rows;
}

int main_row_of_y(int y)
{
    if (y < 0) {
        return -1;
    }
    if (y < 20) {
        return 0;
    }
    if (y < 60) {
        return 1;
    }
    if (y < 63) {
        return 2;
    }
    if (y < 80) {
        return 3;
    }
    if (y < 100) {
        return 4;
    }
    return 5 + (y - 100) / 20;
}

int dialog_row_of_y(int y)
{
    if (y < 0) {
        return -1;
    }
    if (y < 40) {
        return 0;
    }
    if (y < 60) {
        return 1;
    }
    if (y < 66) {
        return 2;
    }
    return 3 + (y - 66) / 24;
}

}  // namespace

int column_of_x(int x)
{
    return x >= 0 ? x / cell_width_px : -1;
}

int row_of_y(RowLayout layout, int y)
{
    return layout == RowLayout::Dialog ? dialog_row_of_y(y) : main_row_of_y(y);
}

int rows_for_height(RowLayout layout, int height)
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

std::u32string utf8_decode(const std::string& text)
{
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            out.push_back(U'\uFFFD');
            ++i;
            continue;
        }
        char32_t ch = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = true;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = valid && (next & 0xC0) == 0x80;
            ch = (ch << 6) | (next & 0x3F);
        }
        out.push_back(valid ? ch : U'\uFFFD');
        i += valid ? length : 1;
    }
    return out;
}

std::string utf8_encode(char32_t ch)
{
    std::string out;
    if (ch < 0x80) {
        out.push_back(static_cast<char>(ch));
    } else if (ch < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else if (ch < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
    }
    return out;
}
