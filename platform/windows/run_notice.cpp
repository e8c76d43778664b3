#include "platform/run_notice.h"

#include <cstdio>

// Standard error is never the window on Windows.
void run_notice_line(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}
