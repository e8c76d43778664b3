// The Win32 subset the program is written against. On Windows it is the real
// <windows.h>; elsewhere the platform layer provides the same names and
// signatures.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win32/types.h"
#include "platform/win32/kernel32.h"
#include "platform/win32/advapi32.h"
#include "platform/win32/user32.h"
#include "platform/win32/gdi32.h"
#endif
