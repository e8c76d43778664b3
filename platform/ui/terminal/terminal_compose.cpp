#include "platform/ui/terminal/terminal_compose.h"

#include <algorithm>

#include "platform/drive_map.h"

namespace {

// The menu bar keeps its distance from the title while the line is wide
// enough for it, as on a wide window's caption.
constexpr int wide_title_gap = 10;
constexpr int narrow_title_gap = 2;
constexpr int bar_item_gap = 2;
constexpr int min_box_width = 20;

std::uint8_t style_of(CellTone tone)
{
    switch (tone) {
    case CellTone::Red:
        return style_red;
    case CellTone::Reverse:
        return style_reverse;
    case CellTone::Dim:
        return style_dim;
    case CellTone::Normal:
        break;
    }
    return style_plain;
}

int text_width(const std::string& utf8)
{
    int width = 0;
    size_t pos = 0;
    while (pos < utf8.size()) {
        next_utf8(utf8, pos);
        ++width;
    }
    return width;
}

// Draws a menu text with its mnemonic underlined; returns the column after it.
int draw_label(Frame& frame, int column, int row, const std::string& text, std::uint8_t style)
{
    const MenuLabel label = menu_label(text);
    size_t pos = 0;
    while (pos < label.text.size()) {
        const bool mnemonic = static_cast<int>(pos) == label.mnemonic_at;
        const char32_t ch = next_utf8(label.text, pos);
        frame.put(column++, row, ch, mnemonic ? style | style_underline : style);
    }
    return column;
}

std::uint8_t item_style(const MenuItemView& item, bool selected)
{
    std::uint8_t style = item.greyed ? style_dim : style_plain;
    return selected ? style | style_reverse : style;
}

class Composer {
public:
    Composer(const UiView& view, const TerminalState& state, int width, int height)
        : view_(view), state_(state), result_{Frame(width, height), {}}
    {
    }

    Composition run()
    {
        const WindowView* main = main_window_of(view_);
        draw_title_line(main);
        if (main != nullptr) {
            draw_main_window(*main);
        }
        draw_other_windows(main);
        if (main != nullptr) {
            draw_popups(*main);
        }
        if (!view_.boxes.empty()) {
            draw_box(view_.boxes.front());
        }
        return std::move(result_);
    }

private:
    Frame& frame() { return result_.frame; }

    void add_hit(Hit hit) { result_.hits.push_back(hit); }

    int menu_bar_width(const WindowView& main) const
    {
        int width = 0;
        for (const MenuItemView& item : main.menu) {
            width += text_width(menu_label(item.text).text) + bar_item_gap;
        }
        return width;
    }

    void draw_title_line(const WindowView* main)
    {
        int column = 1;
        if (main != nullptr) {
            column = frame().text(column, 0, main->title, style_bold);
            const int needed = column + wide_title_gap + menu_bar_width(*main);
            column += needed <= frame().width() ? wide_title_gap : narrow_title_gap;
            draw_menu_bar(*main, column);
        }
        if (view_.busy) {
            const int mark = frame().width() - text_width(busy_mark) - 1;
            frame().text(std::max(mark, 0), 0, busy_mark, style_reverse);
        }
    }

    void draw_menu_bar(const WindowView& main, int column)
    {
        for (size_t i = 0; i < main.menu.size(); ++i) {
            const bool selected = state_.menu.active && state_.menu.bar == static_cast<int>(i);
            const int start = column;
            column = draw_label(frame(), column, 0, main.menu[i].text, item_style(main.menu[i], selected));
            bar_columns_.push_back(start);
            add_hit({HitKind::BarItem, start, 0, column - start, 1, 0, static_cast<int>(i)});
            column += bar_item_gap;
        }
    }

    void draw_cells(const WindowView& window, int left, int top)
    {
        for (int row = 0; row < window.rows; ++row) {
            for (int col = 0; col < window.cols; ++col) {
                const size_t at = static_cast<size_t>(row) * window.cols + col;
                if (at < window.cells.size()) {
                    const Cell& cell = window.cells[at];
                    frame().put(left + col, top + row, cell.ch, style_of(cell.tone));
                }
            }
        }
        Hit hit{HitKind::Window, left, top, window.cols, window.rows};
        hit.window = window.handle;
        add_hit(hit);
    }

    void draw_main_window(const WindowView& main)
    {
        main_right_ = main_client_left + main.cols;
        draw_cells(main, main_client_left, main_client_top);
    }

    // A button's face: its text in brackets at the control's edges, centred.
    static std::string button_face(const ControlView& control)
    {
        const int inner = std::max(control.cols - 2, text_width(control.text));
        const int before = (inner - text_width(control.text)) / 2;
        const int after = inner - text_width(control.text) - before;
        return "[" + std::string(before, ' ') + control.text + std::string(after, ' ') + "]";
    }

    void draw_controls(const WindowView& window, int left, int top)
    {
        const bool active = state_.active == window.handle;
        for (const ControlView& control : window.controls) {
            const std::string face = button_face(control);
            const std::uint8_t style = control.focused && active ? style_reverse : style_plain;
            const int end = frame().text(left + control.left, top + control.top, face, style);
            Hit hit{HitKind::Control, left + control.left, top + control.top,
                    end - (left + control.left), std::max(control.rows, 1)};
            hit.window = window.handle;
            hit.control = control.handle;
            add_hit(hit);
        }
    }

    // A dialog goes beside the main window when the screen is wide enough,
    // over its right part when not; later dialogs step down and left.
    void draw_other_windows(const WindowView* main)
    {
        int cascade = 0;
        for (const WindowView& window : view_.windows) {
            if (&window == main) {
                continue;
            }
            const int outer_cols = window.cols + 2;
            int left = main_right_ + 1;
            int top = main_client_top;
            if (left + outer_cols > frame().width()) {
                left = std::max(frame().width() - outer_cols, 0);
                top = main_client_top + 1;
            }
            left = std::max(left - cascade, 0);
            top += cascade;
            frame().box(left, top, outer_cols, window.rows + 2, style_plain);
            frame().text(left + 2, top, " " + window.title + " ",
                         state_.active == window.handle ? style_bold : style_plain);
            draw_cells(window, left + 1, top + 1);
            draw_controls(window, left + 1, top + 1);
            if (window.dialog) {
                draw_drive_map(left + 1, top + window.rows + 2);
            }
            cascade += 2;
        }
    }

    // Beneath a dialog, where drives are picked: the directory that each
    // drive letter stands for, so that the person sees what they choose.
    void draw_drive_map(int left, int top)
    {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            DriveMapping drive;
            if (drive_map_lookup(letter, &drive)) {
                frame().text(left, top++, std::string(1, letter) + ": " + drive.directory, style_dim);
            }
        }
    }

    void draw_popups(const WindowView& main)
    {
        if (!state_.menu.active || state_.menu.bar < 0 ||
            state_.menu.bar >= static_cast<int>(bar_columns_.size())) {
            return;
        }
        int left = bar_columns_[state_.menu.bar] - 1;
        int top = 1;
        for (int level = 0; level < static_cast<int>(state_.menu.path.size()); ++level) {
            const std::vector<MenuItemView>* items = popup_items(main, state_.menu, level);
            if (items == nullptr) {
                return;
            }
            const int width = popup_width(*items);
            left = std::max(std::min(left, frame().width() - width), 0);
            draw_popup(*items, level, left, top, width);
            const int selected = state_.menu.path[level];
            left += width - 1;
            top += 1 + std::max(selected, 0);
        }
    }

    static int popup_width(const std::vector<MenuItemView>& items)
    {
        int longest = 0;
        for (const MenuItemView& item : items) {
            longest = std::max(longest, text_width(menu_label(item.text).text));
        }
        // Border, check column, blank, text, blank, sub-menu arrow, border.
        return longest + 7;
    }

    void draw_popup(const std::vector<MenuItemView>& items, int level, int left, int top, int width)
    {
        frame().box(left, top, width, static_cast<int>(items.size()) + 2, style_plain);
        for (size_t i = 0; i < items.size(); ++i) {
            const MenuItemView& item = items[i];
            const int row = top + 1 + static_cast<int>(i);
            if (item.separator) {
                for (int x = left + 1; x < left + width - 1; ++x) {
                    frame().put(x, row, U'─', style_dim);
                }
                continue;
            }
            const bool selected = state_.menu.path[level] == static_cast<int>(i);
            const std::uint8_t style = item_style(item, selected);
            frame().fill(left + 1, row, width - 2, 1, style);
            frame().put(left + 2, row, item.checked ? U'✓' : U' ', style);
            draw_label(frame(), left + 4, row, item.text, style);
            if (item.popup) {
                frame().put(left + width - 3, row, U'▶', style);
            }
            add_hit({HitKind::PopupItem, left + 1, row, width - 2, 1, level, static_cast<int>(i)});
        }
    }

    static std::vector<std::string> wrap_lines(const std::string& text, int width)
    {
        std::vector<std::string> lines;
        std::string line;
        int used = 0;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t start = pos;
            const char32_t ch = next_utf8(text, pos);
            if (ch == U'\n' || used == width) {
                lines.push_back(line);
                line.clear();
                used = 0;
                if (ch == U'\n') {
                    continue;
                }
            }
            line.append(text, start, pos - start);
            ++used;
        }
        lines.push_back(line);
        return lines;
    }

    static std::string button_text(int answer)
    {
        return answer == IDCANCEL ? "[ Cancel ]" : "[ OK ]";
    }

    void draw_box(const MessageBoxView& box)
    {
        const std::vector<int> answers = box_answers(box.type);
        int buttons_width = 0;
        for (int answer : answers) {
            buttons_width += text_width(button_text(answer)) + bar_item_gap;
        }
        buttons_width -= bar_item_gap;
        const int max_text = std::max(frame().width() - 4, 1);
        const std::vector<std::string> lines = wrap_lines(box.text, max_text);
        int inner = std::max({min_box_width, text_width(box.caption) + 4, buttons_width});
        for (const std::string& line : lines) {
            inner = std::max(inner, text_width(line));
        }
        const int width = std::min(inner + 4, frame().width());
        const int height = static_cast<int>(lines.size()) + 5;
        const int left = std::max((frame().width() - width) / 2, 0);
        const int top = std::max((frame().height() - height) / 2, 0);
        frame().box(left, top, width, height, style_plain);
        frame().text(left + 2, top, " " + box.caption + " ", style_bold);
        for (size_t i = 0; i < lines.size(); ++i) {
            frame().text(left + 2, top + 2 + static_cast<int>(i), lines[i], style_plain);
        }
        const int button_row = top + height - 2;
        int column = left + std::max((width - buttons_width) / 2, 1);
        const int chosen = state_.box_serial == box.serial ? state_.box_button : 0;
        for (size_t i = 0; i < answers.size(); ++i) {
            const std::string text = button_text(answers[i]);
            const std::uint8_t style = static_cast<int>(i) == chosen ? style_reverse : style_plain;
            const int end = frame().text(column, button_row, text, style);
            Hit hit{HitKind::BoxButton, column, button_row, end - column, 1};
            hit.answer = answers[i];
            add_hit(hit);
            column = end + bar_item_gap;
        }
    }

    const UiView& view_;
    const TerminalState& state_;
    Composition result_;
    std::vector<int> bar_columns_;
    int main_right_ = main_client_left;
};

}  // namespace

Composition compose_screen(const UiView& view, const TerminalState& state, int width, int height)
{
    return Composer(view, state, width, height).run();
}
