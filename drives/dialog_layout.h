// Where the Drives dialog draws its table, in pixels (two per dialog unit):
// its rows, each with the band of pixel heights it owns and the y it is
// drawn at, and its columns. The table paints by it, a drive's click asks
// for its row's repaint by it, and the window system is told its rows when
// the dialog opens. The buttons of the template sit in these rows: "Done"
// and "Unselect" in the first, each drive's button in its drive's row.
//
// Only tests change it, and only while the dialog is closed.
#pragma once

#include "records/window_layout.h"
#include "platform/resources.h"

struct DrivesDialogLayout {
    // Rows, top to bottom. The buttons' row begins at 0.
    LayoutRow heads;
    LayoutRow rule;
    // Drive rows: the first owns the heights from first_drive.top, each
    // further one the next drive_row_height.
    LayoutRow first_drive;
    int drive_row_height;

    // Columns.
    int rule_margin;
    int volume_head_x;
    int free_head_x;
    int total_head_x;
    int type_tile_x;
    int fs_x;
    int volume_x;
    int free_x;
    int total_x;
    int reread_left;  // where a drive's repaint after reading it again begins
};

extern DrivesDialogLayout drives_dialog_layout;

// The rows as the window system maps them to character rows.
RowLayout drives_dialog_rows();

// The y of the drive at that position of the list (0 for the first); the
// closing rule lies at the position after the last drive.
int drive_row_y(int position);
