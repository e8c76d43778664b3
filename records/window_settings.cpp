#include "records/window_settings.h"

WindowSettings window_settings;
