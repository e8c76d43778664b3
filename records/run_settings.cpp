#include "records/run_settings.h"

RunSettings run_settings;
