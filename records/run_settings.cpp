#include "records/run_settings.h"

RunSettings run_settings;

DWORD elapsed_run_seconds(time_t now)
{
    return (DWORD)now - (DWORD)run_settings.run_start_time - run_settings.paused_seconds;
}
