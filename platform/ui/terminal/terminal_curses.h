// The terminal as curses drives it. Only the terminal thread calls this.
#pragma once

#include "platform/ui/terminal/terminal_frame.h"
#include "platform/ui/terminal/terminal_keys.h"

struct MouseClick {
    int column;
    int row;
};

class CursesScreen {
public:
    // Takes over standard input and output; false when curses cannot.
    bool open();
    void close();

    int width() const;
    int height() const;
    // Re-reads the terminal size after SIGWINCH.
    void follow_resize();

    void draw(const Frame& frame);
    void bell();

    // Reads one key without waiting; false when none is waiting.
    bool read_key(RawKey& key);
    // After a Mouse key: the left-button press it reported, if it was one.
    bool read_click(MouseClick& click);

private:
    bool open_ = false;
    bool utf8_ = false;
};

// Box and art characters for a terminal without a UTF-8 locale.
char ascii_fallback(char32_t ch);
