// The Drives dialog's template, written word by word as a program lays one
// out in memory: "Done" (105), "Unselect" (106) and a button per drive from
// C: (400) on.
#pragma once

#include <string>
#include <vector>

#include "platform/win32.h"

inline std::vector<WORD> drives_template(int count)
{
    std::vector<WORD> words;
    // On a four-byte boundary, the style and no extended style; the item count
    // and rectangle of the dialog, or the rectangle and id of an item; no menu
    // and the standard class, or the button class; the title; and after an
    // item, no creation data.
    const auto part = [&words](DWORD style, std::vector<int> fields, std::vector<WORD> classes,
                               const std::string& title, size_t ends) {
        if (words.size() % 2 != 0) {
            words.push_back(0);
        }
        words.insert(words.end(), {static_cast<WORD>(style & 0xFFFF), static_cast<WORD>(style >> 16), 0, 0});
        words.insert(words.end(), fields.begin(), fields.end());
        words.insert(words.end(), classes.begin(), classes.end());
        words.insert(words.end(), title.begin(), title.end());
        words.insert(words.end(), ends, WORD{0});
    };
    part(0x90C80000, {count + 2, 50, 15, 200, 12 * count + 50}, {0, 0}, "Drives", 1);
    part(0x50030000, {5, 5, 40, 12, 105}, {0xFFFF, 0x0080}, "Done", 2);
    part(0x50000000, {55, 5, 40, 12, 106}, {0xFFFF, 0x0080}, "Unselect", 2);
    for (int i = 0; i < count; ++i) {
        part(i == 0 ? 0x50030000 : 0x50000000, {21, 34 + 12 * i, 18, 11, 400 + i}, {0xFFFF, 0x0080},
             std::string(1, 'C' + i) + ":", 2);
    }
    return words;
}
