// Replaces a file whole: readers (a collector, node_exporter) see the old
// text or the new one, never a part.
#pragma once

#include <string>

#include "platform/win32.h"

// Writes `text` to a temporary file in the directory of `path`, flushes it to
// the disk, gives it mode 0644 (a collector may run as another user) and
// renames it over `path`. FALSE with the reason in *error.
BOOL replace_file_atomically(const std::string& path, const std::string& text, std::string* error);
