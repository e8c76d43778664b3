// The terminal backend's hold on the terminal.
#pragma once

// Puts the terminal back as it was before the backend took it (line mode,
// echo, the normal screen, no mouse reports, a visible cursor). Safe in a
// signal handler, for paths that end the process with _exit; does nothing
// when the backend never took the terminal.
void terminal_restore_now();
