#include "platform/ui/output_stream.h"

#include <atomic>
#include <cerrno>

namespace {

std::atomic<bool> output_closed{false};
std::atomic<bool> errors_closed{false};

std::atomic<bool>& closed_flag(FILE* stream)
{
    return stream == stderr ? errors_closed : output_closed;
}

}  // namespace

void write_to_stream(FILE* stream, const std::string& text)
{
    std::atomic<bool>& closed = closed_flag(stream);
    if (closed.load()) {
        return;
    }
    errno = 0;
    std::fwrite(text.data(), 1, text.size(), stream);
    if (std::fflush(stream) == 0) {
        return;
    }
    if (errno == EPIPE) {
        closed.store(true);
    }
    // Any other failure (a full disk under a redirection) may pass; the next
    // line is tried again.
    std::clearerr(stream);
}
