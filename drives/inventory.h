// The inventory of the machine's drives, taken once while the main window is
// created.
#pragma once

// Reads the computer name into run_settings.machine_name ("Unknown" when it
// cannot be read) and builds run_settings.drive_list: one record per drive
// letter that has a root directory, from the lowest letter to the highest,
// with button ids 400, 401, ... in that order.
void inventory_drives();
