#include "platform/drive_choice.h"

BOOL drives_named_by_operator()
{
    return TRUE;
}
