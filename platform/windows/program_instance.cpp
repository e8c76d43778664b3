#include "platform/program_instance.h"

HINSTANCE program_instance()
{
    return GetModuleHandleA(nullptr);
}
