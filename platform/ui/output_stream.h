// Standard output and error may be pipes whose reader goes away (a `| head`,
// a log collector that restarts). Writing to them then fails with EPIPE
// instead of killing the program; from the first such failure on, nothing
// more is written to that stream, and the run goes on to its end.
#pragma once

#include <cstdio>
#include <string>

// Writes the text to stdout or stderr and flushes it, unless the stream's
// reader has gone.
void write_to_stream(FILE* stream, const std::string& text);
