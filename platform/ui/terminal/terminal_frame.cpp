#include "platform/ui/terminal/terminal_frame.h"

namespace {

const FrameCell blank_cell{};

int continuation_count(unsigned char lead)
{
    if ((lead & 0xE0) == 0xC0) {
        return 1;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 2;
    }
    if ((lead & 0xF8) == 0xF0) {
        return 3;
    }
    return -1;
}

}  // namespace

char32_t next_utf8(const std::string& text, size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos]);
    const int extra = lead < 0x80 ? 0 : continuation_count(lead);
    if (extra < 0 || pos + extra >= text.size()) {
        ++pos;
        return lead;
    }
    char32_t ch = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return lead;
        }
        ch = (ch << 6) | (next & 0x3F);
    }
    pos += extra + 1;
    return ch;
}

void append_utf8(std::string& out, char32_t ch)
{
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

Frame::Frame(int width, int height)
    : width_(width > 0 ? width : 0), height_(height > 0 ? height : 0),
      cells_(static_cast<size_t>(width_) * static_cast<size_t>(height_))
{
}

void Frame::put(int column, int row, char32_t ch, std::uint8_t style)
{
    if (column < 0 || row < 0 || column >= width_ || row >= height_) {
        return;
    }
    cells_[static_cast<size_t>(row) * width_ + column] = {ch, style};
}

int Frame::text(int column, int row, const std::string& utf8, std::uint8_t style)
{
    size_t pos = 0;
    while (pos < utf8.size()) {
        put(column++, row, next_utf8(utf8, pos), style);
    }
    return column;
}

void Frame::fill(int column, int row, int width, int height, std::uint8_t style)
{
    for (int y = row; y < row + height; ++y) {
        for (int x = column; x < column + width; ++x) {
            put(x, y, U' ', style);
        }
    }
}

void Frame::box(int column, int row, int width, int height, std::uint8_t style)
{
    if (width < 2 || height < 2) {
        return;
    }
    fill(column, row, width, height, style);
    const int right = column + width - 1;
    const int bottom = row + height - 1;
    for (int x = column + 1; x < right; ++x) {
        put(x, row, U'─', style);
        put(x, bottom, U'─', style);
    }
    for (int y = row + 1; y < bottom; ++y) {
        put(column, y, U'│', style);
        put(right, y, U'│', style);
    }
    put(column, row, U'┌', style);
    put(right, row, U'┐', style);
    put(column, bottom, U'└', style);
    put(right, bottom, U'┘', style);
}

const FrameCell& Frame::at(int column, int row) const
{
    if (column < 0 || row < 0 || column >= width_ || row >= height_) {
        return blank_cell;
    }
    return cells_[static_cast<size_t>(row) * width_ + column];
}

std::string Frame::row_text(int row) const
{
    std::string out;
    int end = width_;
    while (end > 0 && at(end - 1, row).ch == U' ') {
        --end;
    }
    for (int x = 0; x < end; ++x) {
        append_utf8(out, at(x, row).ch);
    }
    return out;
}
