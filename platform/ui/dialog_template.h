// Reading an in-memory dialog template (DLGTEMPLATE and its DLGITEMTEMPLATE
// items) byte for byte. Internal to platform/ui.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win32.h"

// The styles, position and size that the dialog and each of its items give.
struct DialogWindowFields {
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
};

struct DialogItem : DialogWindowFields {
    WORD id = 0;
    std::string class_name;  // "BUTTON" for the atom 0x0080
    std::string text;
    WORD creation_data_size = 0;
};

struct DialogTemplate : DialogWindowFields {
    std::string menu;        // empty, a name, or "#ordinal"
    std::string class_name;  // empty: the standard dialog class
    std::string title;
    std::vector<DialogItem> items;
};

// Reads the template at bytes, never past limit bytes. FALSE when it is
// malformed or runs past the limit.
BOOL parse_dialog_template(const void* bytes, size_t limit, DialogTemplate* out);
