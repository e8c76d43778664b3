// The main window's procedure: creation, commands, timers, paint and
// destruction.
#pragma once

#include "platform/win32.h"

constexpr UINT_PTR refresh_timer_id = 110;
constexpr UINT refresh_period_ms = 1000;
constexpr UINT_PTR minute_timer_id = 111;
constexpr UINT minute_period_ms = 60000;

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
