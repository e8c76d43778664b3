#include "engine/run_settings.h"

RunSettings run_settings;

const char* task_state_word(TaskState state)
{
    switch (state) {
    case Inactive:
        return "Inactive";
    case Working:
        return "Working";
    case Cleanup:
        return "Cleanup";
    case Starting:
        return "Starting";
    case Paused:
        // As wide as "Working", so that it covers the word it replaces.
        return "Paused ";
    }
    return "";
}
