#include "drives/dialog_layout.h"

DrivesDialogLayout drives_dialog_layout = {
    .heads = {.top = 40, .y = 45},
    .rule = {.top = 60, .y = 63},
    .first_drive = {.top = 66, .y = 70},
    .drive_row_height = 24,

    .rule_margin = 10,
    .volume_head_x = 125,
    .free_head_x = 240,
    .total_head_x = 310,
    .type_tile_x = 10,
    .fs_x = 80,
    .volume_x = 125,
    .free_x = 250,
    .total_x = 320,
    .reread_left = 74,
};

RowLayout drives_dialog_rows()
{
    const DrivesDialogLayout& layout = drives_dialog_layout;
    return RowLayout{{layout.heads.top, layout.rule.top, layout.first_drive.top}, layout.drive_row_height};
}

int drive_row_y(int position)
{
    return drives_dialog_layout.first_drive.y + drives_dialog_layout.drive_row_height * position;
}
