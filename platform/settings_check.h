// Every DURANDEX_* setting checked as the program starts, before anything
// runs or any window opens: a setting that cannot be used would otherwise
// hang the run, turn a check off or drop a drive without a word.
#pragma once

#include <string>
#include <vector>

// One line per problem, each naming the variable (or the drive map entry)
// and what is wrong with it; empty when everything can be used. The drive
// map is loaded here, once, for the whole run.
std::vector<std::string> settings_problems();
