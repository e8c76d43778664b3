// The Windows program reads none of the settings that choose Linux
// stand-ins; only a drive map set out of habit is worth a word, since the
// drive letters there are the system's own.
#include "platform/settings_check.h"

#include "platform/settings.h"

std::vector<std::string> settings_problems()
{
    std::vector<std::string> problems;
    if (!setting_text(Setting::Drives).empty()) {
        problems.push_back(std::string(setting_variable(Setting::Drives)) +
                           ": not used on Windows, where the drive letters are the system's own");
    }
    return problems;
}
