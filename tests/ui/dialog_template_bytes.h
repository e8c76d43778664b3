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
    // The style and no extended style, on a four-byte boundary, then the
    // item count and rectangle of the dialog, or the rectangle and id of an item.
    const auto fixed = [&words](DWORD style, std::vector<int> fields) {
        if (words.size() % 2 != 0) {
            words.push_back(0);
        }
        words.insert(words.end(), {static_cast<WORD>(style & 0xFFFF), static_cast<WORD>(style >> 16), 0, 0});
        words.insert(words.end(), fields.begin(), fields.end());
    };
    // No menu and the standard class, or the button class, then the title.
    const auto texts = [&words](std::vector<WORD> before, const std::string& title) {
        words.insert(words.end(), before.begin(), before.end());
        words.insert(words.end(), title.begin(), title.end());
        words.push_back(0);
    };
    fixed(0x90C80000, {count + 2, 50, 15, 200, 12 * count + 50});
    texts({0, 0}, "Drives");
    const auto button = [&](DWORD style, std::vector<int> fields, const std::string& title) {
        fixed(style, std::move(fields));
        texts({0xFFFF, 0x0080}, title);
        words.push_back(0);
    };
    button(0x50030000, {5, 5, 40, 12, 105}, "Done");
    button(0x50000000, {55, 5, 40, 12, 106}, "Unselect");
    for (int i = 0; i < count; ++i) {
        button(i == 0 ? 0x50030000 : 0x50000000, {21, 34 + 12 * i, 18, 11, 400 + i}, std::string(1, 'C' + i) + ":");
    }
    return words;
}
