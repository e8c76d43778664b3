// What the command line asks of the Drives dialog when it opens: "/a" pairs
// the fixed drives in a ring, "/c" copies from the first CD-ROM drive. A
// command line that cannot be carried out is refused, and the program ends.
#pragma once

#include "platform/win32.h"

// WM_INITDIALOG. Posts the clicks that make the tasks, then "Done" to the
// dialog and Start to the main window; only before Start, so that a second
// opening never starts the run again. FALSE, having posted nothing, for an
// invalid command line and when the option finds no drive to pair (saying
// so on standard error).
BOOL select_drives_automatically(HWND dialog);
