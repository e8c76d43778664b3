// Keys of the terminal, decoded into what the window system acts on.
#pragma once

#include <vector>

enum class KeyKind {
    Char,      // a printable character, in `ch`
    AltChar,   // Alt with a printable character (sent by terminals as ESC + character)
    F10,
    AltF4,  // closes the active window
    Up,
    Down,
    Left,
    Right,
    Tab,
    BackTab,
    Enter,
    Space,
    Escape,
    Interrupt,  // Ctrl-C: the terminal is raw, so it becomes SIGINT by hand
    Mouse,      // a mouse report, read from the terminal separately
    Resize,
};

struct TerminalKey {
    KeyKind kind;
    char ch;
};

// One read from the terminal: a character or a function key code as curses
// returns them; `timed_out` when no further key came within the escape delay.
struct RawKey {
    bool is_function_key;
    int code;
    bool timed_out;
};

// Joins ESC and the next character into Alt+character and turns a lone ESC
// into Escape once the next read times out.
class KeyDecoder {
public:
    std::vector<TerminalKey> feed(const RawKey& raw);
    bool escape_pending() const { return escape_pending_; }

private:
    bool escape_pending_ = false;
};

// Maps one read to a key without the ESC prefix rule; false for keys the
// window system does not use.
bool decode_single_key(const RawKey& raw, TerminalKey& key);

// Raw keys as the terminal backend reads them, for callers that do not see
// curses: the escape character, and the function keys the window system uses.
RawKey raw_char(int ch);
RawKey raw_escape();
RawKey raw_timeout();
RawKey raw_function_key(KeyKind kind);
