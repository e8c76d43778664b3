// Timer 111, once right after Start and then every minute: paused time, the
// run-time limit, the elapsed-time line, the time files, and Quit when every
// task has stopped or the limit is reached.
#pragma once

#include "platform/win32.h"

void minute_tick(HWND window);
