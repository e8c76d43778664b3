#include "platform/run_output.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/drive_map.h"
#include "platform/ui/backend.h"
#include "platform/ui/output_stream.h"

namespace {

std::mutex output_mutex;
std::vector<std::string> kept_end_lines;

}  // namespace

void run_output_line(const std::string& text)
{
    if (ui_backend() != headless_backend()) {
        return;
    }
    std::lock_guard<std::mutex> guard(output_mutex);
    write_to_stream(stdout, text + "\n");
}

void run_output_end_line(const std::string& text)
{
    if (ui_backend() == headless_backend()) {
        run_output_line(text);
        return;
    }
    std::lock_guard<std::mutex> guard(output_mutex);
    kept_end_lines.push_back(text);
}

void run_output_end_lines_release()
{
    std::lock_guard<std::mutex> guard(output_mutex);
    for (const std::string& line : kept_end_lines) {
        write_to_stream(stdout, line + "\n");
    }
    kept_end_lines.clear();
}

std::string native_path_of(LPCSTR windows_path)
{
    std::string native;
    DWORD code = 0;
    if (!translate_path(windows_path, &native, &code)) {
        return windows_path;
    }
    return native;
}
