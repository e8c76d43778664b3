#include "platform/ui/terminal/terminal_keys.h"

#include <curses.h>

namespace {

constexpr int escape_code = 27;
constexpr int ctrl_c_code = 3;

struct FunctionKeyEntry {
    int code;
    KeyKind kind;
};

// The function keys as curses reports them with keypad mode on. Enter comes
// as KEY_ENTER from the keypad and as CR or LF from the main keyboard; Alt+F4
// is the fifty-second function key of xterm-like terminals.
const FunctionKeyEntry function_keys[] = {
    {KEY_F(10), KeyKind::F10},     {KEY_F(52), KeyKind::AltF4}, {KEY_UP, KeyKind::Up},       {KEY_DOWN, KeyKind::Down},
    {KEY_LEFT, KeyKind::Left},     {KEY_RIGHT, KeyKind::Right}, {KEY_BTAB, KeyKind::BackTab},
    {KEY_ENTER, KeyKind::Enter},   {KEY_MOUSE, KeyKind::Mouse}, {KEY_RESIZE, KeyKind::Resize},
};

bool decode_function_key(int code, TerminalKey& key)
{
    for (const FunctionKeyEntry& entry : function_keys) {
        if (entry.code == code) {
            key = {entry.kind, 0};
            return true;
        }
    }
    return false;
}

bool decode_character(int code, TerminalKey& key)
{
    switch (code) {
    case '\t':
        key = {KeyKind::Tab, 0};
        return true;
    case '\r':
    case '\n':
        key = {KeyKind::Enter, 0};
        return true;
    case ' ':
        key = {KeyKind::Space, 0};
        return true;
    case escape_code:
        key = {KeyKind::Escape, 0};
        return true;
    case ctrl_c_code:
        key = {KeyKind::Interrupt, 0};
        return true;
    default:
        break;
    }
    if (code > ' ' && code < 127) {
        key = {KeyKind::Char, static_cast<char>(code)};
        return true;
    }
    return false;
}

bool is_escape(const RawKey& raw)
{
    return !raw.timed_out && !raw.is_function_key && raw.code == escape_code;
}

}  // namespace

bool decode_single_key(const RawKey& raw, TerminalKey& key)
{
    if (raw.timed_out) {
        return false;
    }
    return raw.is_function_key ? decode_function_key(raw.code, key) : decode_character(raw.code, key);
}

std::vector<TerminalKey> KeyDecoder::feed(const RawKey& raw)
{
    std::vector<TerminalKey> keys;
    TerminalKey key{};
    if (escape_pending_) {
        escape_pending_ = false;
        if (decode_single_key(raw, key) && key.kind == KeyKind::Char) {
            keys.push_back({KeyKind::AltChar, key.ch});
            return keys;
        }
        keys.push_back({KeyKind::Escape, 0});
    }
    if (is_escape(raw)) {
        escape_pending_ = true;
        return keys;
    }
    if (decode_single_key(raw, key)) {
        keys.push_back(key);
    }
    return keys;
}

RawKey raw_char(int ch)
{
    return {false, ch, false};
}

RawKey raw_escape()
{
    return {false, escape_code, false};
}

RawKey raw_timeout()
{
    return {false, 0, true};
}

RawKey raw_function_key(KeyKind kind)
{
    for (const FunctionKeyEntry& entry : function_keys) {
        if (entry.kind == kind) {
            return {true, entry.code, false};
        }
    }
    return {true, 0, false};
}
