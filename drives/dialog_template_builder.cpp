// The Drives dialog's template, laid out in memory as CreateDialogIndirectParamA
// reads it: a DLGTEMPLATE, then one DLGITEMTEMPLATE per button, each on a
// four-byte boundary, with UTF-16 titles and no font.
#include <cstring>

#include "drives/drives_dialog.h"
#include "platform/win32.h"

namespace {

constexpr DWORD dialog_style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
constexpr DWORD first_button_style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD button_style = WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON;
constexpr WORD ordinal_marker = 0xFFFF;
constexpr WORD button_class_atom = 0x0080;
constexpr short drive_row_height = 12;
constexpr WORD first_drive_button_id = 400;

// Writes into the block from its start; every write lands on an even offset.
struct TemplateCursor {
    BYTE* base;
    size_t offset = 0;

    void word(WORD value)
    {
        std::memcpy(base + offset, &value, sizeof value);
        offset += sizeof value;
    }

    template <typename Header>
    void header(const Header& value)
    {
        std::memcpy(base + offset, &value, sizeof value);
        offset += sizeof value;
    }

    // The text as UTF-16 with its terminating zero.
    void text(LPCSTR value)
    {
        const int room = static_cast<int>((drives_dialog_template_bytes - offset) / sizeof(WCHAR));
        offset += MultiByteToWideChar(CP_ACP, 0, value, -1, reinterpret_cast<LPWSTR>(base + offset), room) *
                  sizeof(WCHAR);
    }

    // The zero fill of the block is the padding.
    void align_to_dword() { offset = (offset + 3) & ~static_cast<size_t>(3); }
};

void write_dialog_header(TemplateCursor* cursor, int drive_count)
{
    DLGTEMPLATE header = {};
    header.style = dialog_style;
    header.cdit = static_cast<WORD>(drive_count + 2);
    header.x = 50;
    header.y = 15;
    header.cx = 200;
    header.cy = static_cast<short>(drive_row_height * drive_count + 50);
    cursor->header(header);
    cursor->word(0);  // no menu
    cursor->word(0);  // the standard dialog class
    cursor->text("Drives");
}

void write_button(TemplateCursor* cursor, DWORD style, short x, short y, short cx, short cy, WORD id,
                  LPCSTR title)
{
    cursor->align_to_dword();
    DLGITEMTEMPLATE item = {};
    item.style = style;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.id = id;
    cursor->header(item);
    cursor->word(ordinal_marker);
    cursor->word(button_class_atom);
    cursor->text(title);
    cursor->word(0);  // no creation data
}

}  // namespace

HGLOBAL build_drives_dialog_template(const Drive* drives, int drive_count)
{
    if (drive_count < 0 || drive_count > drives_dialog_most_drives) {
        return nullptr;
    }
    HGLOBAL block = GlobalAlloc(GPTR, drives_dialog_template_bytes);
    if (block == nullptr) {
        return nullptr;
    }
    TemplateCursor cursor{static_cast<BYTE*>(GlobalLock(block))};
    write_dialog_header(&cursor, drive_count);
    write_button(&cursor, first_button_style, 5, 5, 40, 12, drives_dialog_done_id, "Done");
    write_button(&cursor, button_style, 55, 5, 40, 12, drives_dialog_unselect_id, "Unselect");
    const Drive* drive = drives;
    for (int index = 0; index < drive_count && drive != nullptr; ++index, drive = drive->next) {
        // The button shows the letter and colon of the root path.
        const char letter[] = {drive->root_path[0], drive->root_path[1], '\0'};
        write_button(&cursor, index == 0 ? first_button_style : button_style, 21,
                     static_cast<short>(34 + drive_row_height * index), 18, 11,
                     static_cast<WORD>(first_drive_button_id + index), letter);
    }
    GlobalUnlock(block);
    return block;
}
