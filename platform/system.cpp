#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/errors.h"
#include "platform/faults.h"
#include "platform/settings.h"
#include "platform/system_seam.h"
#include "platform/win32.h"

namespace {

// The version this layer answers: Windows NT 4.0, which the program treats as
// the NT family (top bit clear).
constexpr DWORD reported_major_version = 4;
constexpr DWORD reported_minor_version = 0;
constexpr DWORD build_number_limit = 0x7FFF;

std::atomic<UINT> error_mode{0};
std::mutex debug_output_mutex;

BOOL read_host_name(std::string* name)
{
    if (system_fixed_computer_name(name)) {
        return TRUE;
    }
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) {
        return fail_with_errno(errno);
    }
    *name = buffer;
    return TRUE;
}

// Reads the leading decimal number of text and moves text past it and one
// following separator.
DWORD take_version_number(const char** text)
{
    char* end = nullptr;
    unsigned long value = std::strtoul(*text, &end, 10);
    *text = (*end == '.') ? end + 1 : end;
    return value > build_number_limit ? build_number_limit : static_cast<DWORD>(value);
}

// The kernel release "6.1.0-18-amd64" becomes 6 * 1000 + 1 = 6001: the major
// version in thousands and the minor version below, capped to the 15 bits of
// the build-number field.
DWORD kernel_build_number()
{
    utsname names{};
    if (uname(&names) != 0) {
        return 0;
    }
    const char* text = names.release;
    DWORD major = take_version_number(&text);
    DWORD minor = take_version_number(&text);
    DWORD build = major * 1000 + (minor > 999 ? 999 : minor);
    return build > build_number_limit ? build_number_limit : build;
}

void write_whole(int descriptor, const char* text, size_t length)
{
    while (length > 0) {
        ssize_t written = write(descriptor, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

// Debug output is best effort: a destination that cannot be opened drops the
// text, as a missing debugger does on Windows.
void append_debug_text(const char* destination, const char* text)
{
    size_t length = std::strlen(text);
    if (std::strcmp(destination, "-") == 0) {
        write_whole(STDERR_FILENO, text, length);
        return;
    }
    // Never blocks on a FIFO that nobody reads: the text is dropped instead.
    int descriptor = open(destination, O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return;
    }
    write_whole(descriptor, text, length);
    close(descriptor);
}

}  // namespace

BOOL WINAPI GetComputerNameA(LPSTR lpBuffer, LPDWORD nSize)
{
    if (fault_check(FaultOperation::GetComputerNameA)) {
        return FALSE;
    }
    if (nSize == nullptr || (lpBuffer == nullptr && *nSize != 0)) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    std::string name;
    if (!read_host_name(&name)) {
        return FALSE;
    }
    DWORD needed = static_cast<DWORD>(name.size() + 1);
    if (*nSize < needed) {
        *nSize = needed;
        return fail_with(ERROR_BUFFER_OVERFLOW);
    }
    std::memcpy(lpBuffer, name.c_str(), needed);
    *nSize = needed - 1;
    return TRUE;
}

DWORD WINAPI GetVersion(void)
{
    return (kernel_build_number() << 16) | (reported_minor_version << 8) | reported_major_version;
}

DWORD WINAPI GetCurrentProcessId(void)
{
    DWORD fixed = system_fixed_process_id();
    return fixed != 0 ? fixed : static_cast<DWORD>(getpid());
}

// Linux shows no critical-error boxes, so the mode is only remembered.
UINT WINAPI SetErrorMode(UINT uMode)
{
    return error_mode.exchange(uMode);
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString)
{
    if (lpOutputString == nullptr) {
        return;
    }
    // One lock for the lookup and the write keeps each text whole between
    // threads; O_APPEND keeps it whole between processes.
    std::lock_guard<std::mutex> lock(debug_output_mutex);
    const std::string& destination = setting_text(Setting::DebugOutput);
    if (destination.empty()) {
        return;
    }
    append_debug_text(destination.c_str(), lpOutputString);
}
