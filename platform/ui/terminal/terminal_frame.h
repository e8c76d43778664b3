// A composed terminal screen: characters with styles, before curses sees them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum CellStyle : std::uint8_t {
    style_plain = 0,
    style_underline = 1,
    style_dim = 2,
    style_reverse = 4,
    style_red = 8,
    style_bold = 16,
};

struct FrameCell {
    char32_t ch = U' ';
    std::uint8_t style = style_plain;
};

class Frame {
public:
    Frame(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Writes outside the frame are dropped: a small terminal shows what fits.
    void put(int column, int row, char32_t ch, std::uint8_t style);
    // Puts UTF-8 text from a column on; returns the column after it.
    int text(int column, int row, const std::string& utf8, std::uint8_t style);
    void fill(int column, int row, int width, int height, std::uint8_t style);
    void box(int column, int row, int width, int height, std::uint8_t style);

    const FrameCell& at(int column, int row) const;
    // One row as UTF-8 with trailing blanks removed.
    std::string row_text(int row) const;

private:
    int width_;
    int height_;
    std::vector<FrameCell> cells_;
};

// Decodes one UTF-8 character at `pos` and moves past it; bytes that are not
// UTF-8 come out as themselves (texts of this program are single-byte).
char32_t next_utf8(const std::string& text, size_t& pos);
void append_utf8(std::string& out, char32_t ch);
