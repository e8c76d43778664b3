// The long options beside --help and --version: where the machine-readable
// results go. They are taken out of the arguments before the switches are
// read, so the switches keep their meaning.
#pragma once

#include <string>
#include <vector>

struct LongOptions {
    std::string json_path;     // --json=FILE
    std::string metrics_path;  // --metrics=FILE
    std::string invalid;       // the first option given without a file; empty when all are sound
};

// Takes the long options out of `arguments`, leaving the others in order.
LongOptions take_long_options(std::vector<std::string>* arguments);
