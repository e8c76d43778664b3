// What the command line asks of the Drives dialog when it opens: "/a" pairs
// the fixed drives in a ring, "/c" copies from the first CD-ROM drive, and
// an invalid command line ends the process.
#pragma once

#include "platform/win32.h"

// WM_INITDIALOG. Posts the clicks that make the tasks, then "Done" to the
// dialog and Start to the main window; only before Start, so that a second
// opening never starts the run again. Ends the process with exit code 255
// for an invalid command line and when the option finds no drive to pair.
void select_drives_automatically(HWND dialog);
