// The DURANDEX_* environment settings. Each is read once, at its first use,
// into a text that is kept for the life of the process, so that the calls
// made for every file (the cached-reads choice, the debug output) take no
// lock and copy nothing; tests replace them through setting_override.
#pragma once

#include <string>

enum class Setting { Drives, CachedReads, TimeScale, DebugOutput, EventLog, Registry, Ui, Instance };

// The environment variable behind a setting.
const char* setting_variable(Setting setting);

// The setting's text; empty when unset. The reference stays valid for the
// life of the process, even after an override.
const std::string& setting_text(Setting setting);

// DURANDEX_CACHED_READS=1: verifying reads may come from the page cache, and
// copies are written through it.
bool setting_cached_reads();

// The one form every bad setting is reported in: the variable, the offending
// value (`what` says which part it is, "value" or "entry") and what was expected.
std::string setting_problem(Setting setting, const char* what, const std::string& value, const char* expected);

// Writes a problem to standard error with what the program does about it
// (nullptr when it says nothing more).
void setting_report(const std::string& problem, const char* consequence);

// The setting reads as `text` (nullptr: as if unset) until settings_reset.
void setting_override(Setting setting, const char* text);

// Drops overrides and what was read, so the next use reads the environment again.
void settings_reset();
