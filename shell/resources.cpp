#include "shell/resources.h"

#include "platform/resources.h"
#include "records/window_layout.h"
#include "records/window_settings.h"

namespace {

std::vector<MenuTemplateItem> program_menu()
{
    return {
        {"&Start", command_start, {}},
        {"&Drives...", command_drives, {}},
        {"&Pause", command_pause, {}},
        {"&Options",
         0,
         {{"&File Flags",
           0,
           {{"&Normal", command_flags_normal, {}},
            {"&Write Through", command_flags_write_through, {}},
            {"&Random Access", command_flags_random_access, {}},
            {"S&equential Scan", command_flags_sequential_scan, {}}}},
          {"&Line Size", 0, {{"&32", command_line_size_32, {}}, {"&64", command_line_size_64, {}}}}}},
        {"&Quit", command_quit, {}},
        {"&About", command_about, {}},
    };
}

// A pestle over its mortar: at rest leaning one way, striking, at rest
// leaning the other way; 4 cells by 2 rows each.
const std::vector<std::string> animation_art = {
    "  ▐▌·▐▌·▐▌  ",
    "╰▁▁╯╰██╯╰▁▁╯",
};

// Removable, fixed, network, CD-ROM and RAM drives, 4 cells each.
const std::vector<std::string> drive_type_art = {
    "▭FD ▤HD ⇆NET◉CD ▦RAM",
};

// Letter buttons of 4 cells by one row, the arrow under Y:, and the emblem of
// 12 cells by 2 rows beside the arrow.
const std::vector<std::string> tiles_art = {
    "[A:][B:][C:][D:]",
    "[E:][F:][G:][H:]",
    "[I:][J:][K:][L:]",
    "[M:][N:][O:][P:]",
    "[Q:][R:][S:][T:]",
    "[U:][V:][W:][X:]",
    "[Y:][Z:]        ",
    " ─▶ ╭─DURANDEX─╮",
    "    ╰──────────╯",
};

}  // namespace

BOOL register_program_resources()
{
    resources_register_menu("DurandexMenu", program_menu());
    resources_register_icon("PestleboxIcon", "▐▌");
    return resources_register_row_layout(WindowKind::TopLevel, main_window_rows()) &&
           resources_register_bitmap(MAKEINTRESOURCEA(anim_bitmap_id), 96, 40, animation_art) &&
           resources_register_bitmap(MAKEINTRESOURCEA(drive_type_bitmap_id), 160, 16,
                                     drive_type_art) &&
           resources_register_bitmap(MAKEINTRESOURCEA(tiles_bitmap_id), 128, 144, tiles_art);
}
