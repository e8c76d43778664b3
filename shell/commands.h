// The menu commands of the main window.
#pragma once

#include "platform/win32.h"

// "&Options" is the fourth item of the menu bar.
constexpr int options_menu_position = 3;

// Carries out the command with that id; other ids are ignored. Posted
// commands are carried out whether or not their menu item is greyed.
void carry_out_command(HWND window, UINT id);

// The preparation thread has started every task's workers: the arrow cursor
// comes back and Pause is offered.
void end_preparation_wait(HWND window);

// Pause when the run is not paused, else Unpause.
void toggle_pause(HWND window);

// Stops every task, waits for the workers within bounds, writes the run
// summary when the run started and ends the message loop with the exit code.
// Only the first Quit does anything.
void quit_run(HWND window);

// TRUE once Quit has begun.
BOOL quit_under_way();

// The Drives dialog refused what the command line asked of it: no command is
// carried out any more, and the message loop ends at once, without Quit.
void refuse_run();

// TRUE once the run was refused.
BOOL run_refused();

// WM_DESTROY: the timers, the Drives dialog and the message loop end without
// waiting for the workers; exit code 0.
void destroy_main_window(HWND window);
