#include "platform/run_notice.h"

#include <cstdio>

#include "platform/ui/backend.h"

void run_notice_line(const std::string& text)
{
    if (ui_backend() != headless_backend()) {
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}
