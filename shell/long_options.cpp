#include "shell/long_options.h"

namespace {

// TRUE when `argument` is `--name=...`; the value goes to *value.
bool takes(const std::string& argument, const std::string& name, std::string* value)
{
    const std::string prefix = "--" + name + "=";
    if (argument.rfind(prefix, 0) != 0) {
        return false;
    }
    *value = argument.substr(prefix.size());
    return true;
}

}  // namespace

LongOptions take_long_options(std::vector<std::string>* arguments)
{
    LongOptions options;
    std::vector<std::string> rest;
    for (const std::string& argument : *arguments) {
        std::string* value = nullptr;
        std::string found;
        if (takes(argument, "json", &found)) {
            value = &options.json_path;
        } else if (takes(argument, "metrics", &found)) {
            value = &options.metrics_path;
        } else {
            rest.push_back(argument);
            continue;
        }
        // A file name ending in '/' names a directory, not a file to replace.
        if ((found.empty() || found.back() == '/') && options.invalid.empty()) {
            options.invalid = argument;
        }
        *value = found;
    }
    *arguments = rest;
    return options;
}
