#include "platform/run_output.h"

#include <cstdio>
#include <mutex>

#include "platform/drive_map.h"
#include "platform/ui/backend.h"
#include "platform/ui/output_stream.h"

namespace {

std::mutex output_mutex;

}  // namespace

void run_output_line(const std::string& text)
{
    if (ui_backend() != headless_backend()) {
        return;
    }
    std::lock_guard<std::mutex> guard(output_mutex);
    write_to_stream(stdout, text + "\n");
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
