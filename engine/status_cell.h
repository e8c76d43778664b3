// A worker draws its task's state word into the task's status cell of the
// main window, through a display context of its own.
#pragma once

#include "records/task.h"
#include "platform/win32.h"

// Draws `word` in the status cell of the task's row, window-text colour on
// window colour. The context is held per thread while drawing, so that an
// exception recovery can give it back.
void draw_status_word(Task* task, const char* word);

// Gives back the display context this thread holds, if an exception
// interrupted its drawing; otherwise does nothing.
void release_held_status_dc();
