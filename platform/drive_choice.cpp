#include "platform/drive_choice.h"

#include "platform/settings.h"

BOOL drives_named_by_operator()
{
    return setting_text(Setting::Drives).empty() ? FALSE : TRUE;
}
