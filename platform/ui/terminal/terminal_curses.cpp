#define NCURSES_WIDECHAR 1

#include "platform/ui/terminal/terminal_curses.h"

#include <curses.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <cwchar>

namespace {

// Function-key sequences of the terminal arrive within this many
// milliseconds; a lone ESC is told from Alt by the thread's own wait.
constexpr int escape_delay_ms = 25;

constexpr short red_pair = 1;

// A UTF-8 locale from the environment keeps box drawing; without one the
// screen falls back to ASCII instead of sending UTF-8 the terminal cannot show.
bool select_utf8_locale()
{
    if (std::setlocale(LC_CTYPE, "") == nullptr) {
        return false;
    }
    return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

attr_t curses_attributes(std::uint8_t style)
{
    attr_t attributes = A_NORMAL;
    if ((style & style_underline) != 0) {
        attributes |= A_UNDERLINE;
    }
    if ((style & style_dim) != 0) {
        attributes |= A_DIM;
    }
    if ((style & style_reverse) != 0) {
        attributes |= A_REVERSE;
    }
    if ((style & style_bold) != 0) {
        attributes |= A_BOLD;
    }
    return attributes;
}

void put_wide(int column, int row, char32_t ch, attr_t attributes, short pair)
{
    wchar_t text[2] = {static_cast<wchar_t>(ch), L'\0'};
    cchar_t cell;
    setcchar(&cell, text, attributes, pair, nullptr);
    mvadd_wch(row, column, &cell);
}

void put_narrow(int column, int row, char32_t ch, attr_t attributes, short pair)
{
    chtype out = ch < 0x80 ? static_cast<chtype>(ch) : static_cast<chtype>(ascii_fallback(ch));
    mvaddch(row, column, out | attributes | COLOR_PAIR(pair));
}

}  // namespace

char ascii_fallback(char32_t ch)
{
    switch (ch) {
    case U'─':
        return '-';
    case U'│':
        return '|';
    case U'┌':
    case U'┐':
    case U'└':
    case U'┘':
        return '+';
    case U'✓':
        return 'x';
    case U'▶':
        return '>';
    default:
        return ch < 0x80 ? static_cast<char>(ch) : '#';
    }
}

bool CursesScreen::open()
{
    utf8_ = select_utf8_locale();
    if (newterm(nullptr, stdout, stdin) == nullptr) {
        return false;
    }
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(escape_delay_ms);
    curs_set(0);
    // Every report the terminal sends must pass the mask: after one it
    // filters out (the release half of a click, another button, the wheel)
    // curses reads on for the next key without a timeout, and the thread
    // would sleep in that read through resizes and model changes.
    mousemask(ALL_MOUSE_EVENTS, nullptr);
    mouseinterval(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(red_pair, COLOR_RED, -1);
    }
    open_ = true;
    return true;
}

void CursesScreen::close()
{
    if (!open_) {
        return;
    }
    endwin();
    open_ = false;
}

int CursesScreen::width() const
{
    return COLS;
}

int CursesScreen::height() const
{
    return LINES;
}

void CursesScreen::follow_resize()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0) {
        resizeterm(size.ws_row, size.ws_col);
    }
}

void CursesScreen::draw(const Frame& frame)
{
    erase();
    for (int row = 0; row < frame.height() && row < LINES; ++row) {
        for (int column = 0; column < frame.width() && column < COLS; ++column) {
            const FrameCell& cell = frame.at(column, row);
            const short pair = (cell.style & style_red) != 0 && has_colors() ? red_pair : 0;
            if (utf8_) {
                put_wide(column, row, cell.ch, curses_attributes(cell.style), pair);
            } else {
                put_narrow(column, row, cell.ch, curses_attributes(cell.style), pair);
            }
        }
    }
    refresh();
}

void CursesScreen::bell()
{
    beep();
}

bool CursesScreen::read_key(RawKey& key)
{
    wint_t code = 0;
    const int status = get_wch(&code);
    if (status == ERR) {
        return false;
    }
    key = {status == KEY_CODE_YES, static_cast<int>(code), false};
    return true;
}

bool CursesScreen::read_click(MouseClick& click)
{
    MEVENT event{};
    // Reports that came together are merged, a press and release into a click
    // and clicks into double and triple ones; each is one click here.
    constexpr mmask_t left_button =
        BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON1_DOUBLE_CLICKED | BUTTON1_TRIPLE_CLICKED;
    if (getmouse(&event) != OK || (event.bstate & left_button) == 0) {
        return false;
    }
    click = {event.x, event.y};
    return true;
}
