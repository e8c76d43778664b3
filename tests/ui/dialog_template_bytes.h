// A dialog template written word by word as a program lays one out in
// memory, and the Drives dialog's template built with it.
#pragma once

#include <vector>

#include "platform/win32.h"

struct TemplateWriter {
    std::vector<WORD> words;

    void word(WORD value) { words.push_back(value); }
    void dword(DWORD value)
    {
        word(static_cast<WORD>(value & 0xFFFF));
        word(static_cast<WORD>(value >> 16));
    }
    void text(const char* value)
    {
        for (; *value != 0; ++value) {
            word(static_cast<unsigned char>(*value));
        }
        word(0);
    }
    // The style, no extended style, then the item count and rectangle of a
    // dialog, or the rectangle and id of an item, on a four-byte boundary.
    void fixed(DWORD style, std::vector<short> fields)
    {
        if (words.size() % 2 != 0) {
            word(0);
        }
        dword(style);
        dword(0);
        for (short value : fields) {
            word(static_cast<WORD>(value));
        }
    }
    void button(DWORD style, std::vector<short> rect_and_id, const char* title)
    {
        fixed(style, std::move(rect_and_id));
        word(0xFFFF);
        word(0x0080);
        text(title);
        word(0);
    }
};

// "Done" (105), "Unselect" (106) and a button per drive from C: (400) on.
inline std::vector<WORD> drives_template(int count)
{
    TemplateWriter writer;
    writer.fixed(0x90C80000, {static_cast<short>(count + 2), 50, 15, 200, static_cast<short>(12 * count + 50)});
    writer.word(0);
    writer.word(0);
    writer.text("Drives");
    writer.button(0x50030000, {5, 5, 40, 12, 105}, "Done");
    writer.button(0x50000000, {55, 5, 40, 12, 106}, "Unselect");
    for (short i = 0; i < count; ++i) {
        const char letter[] = {static_cast<char>('C' + i), ':', '\0'};
        writer.button(i == 0 ? 0x50030000 : 0x50000000, {21, static_cast<short>(34 + 12 * i), 18, 11,
                                                         static_cast<short>(400 + i)}, letter);
    }
    return writer.words;
}
