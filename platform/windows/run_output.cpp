// The run lines on Windows: the window is a window of its own, so standard
// output is always free for them, whether a console, a file or a pipe.
#include "platform/run_output.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex output_mutex;

}  // namespace

void run_output_line(const std::string& text)
{
    std::lock_guard<std::mutex> guard(output_mutex);
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
}

void run_output_end_line(const std::string& text)
{
    run_output_line(text);
}

// Nothing is kept back: every end line was written when it came.
void run_output_end_lines_release() {}

// Drive paths are the system's own.
std::string native_path_of(LPCSTR windows_path)
{
    return windows_path;
}
