// The handle of the program's own module, which its resources are loaded
// from. The Linux window system keeps the resources by name alone and takes
// a null handle; on Windows a null handle would name the system's own.
#pragma once

#include "platform/win32.h"

HINSTANCE program_instance();
