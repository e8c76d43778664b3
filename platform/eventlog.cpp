// The application event log. Entries go to syslog under the source's name,
// all strings in one message, one per line. DURANDEX_EVENT_LOG=FILE appends
// them to FILE instead, one block per entry:
//
//   source=durandex type=1 category=0 id=0 strings=2
//   <first string>
//   <second string>
//   <empty line>
//
// A string that does not end with a line feed gets one, so every block ends
// with exactly one empty line unless a string itself ends in one. Raw data is
// not recorded.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/errors.h"
#include "platform/handles.h"
#include "platform/settings.h"
#include "platform/win32.h"

namespace {

struct EventSource : KernelObject {
    std::string source_name;
};

void destroy_event_source(KernelObject* object)
{
    delete static_cast<EventSource*>(object);
}

// openlog's ident is process-wide, and the blocks of the file must not
// interleave.
std::mutex event_log_mutex;

int syslog_priority(WORD type)
{
    switch (type) {
    case EVENTLOG_ERROR_TYPE:
        return LOG_ERR;
    case EVENTLOG_WARNING_TYPE:
        return LOG_WARNING;
    default:
        return LOG_INFO;
    }
}

std::string strings_text(WORD count, LPCSTR* strings)
{
    std::string text;
    for (WORD i = 0; i < count; ++i) {
        std::string one = strings[i] != nullptr ? strings[i] : "";
        if (one.empty() || one.back() != '\n') {
            one += '\n';
        }
        text += one;
    }
    return text;
}

std::string entry_block(const EventSource& source, WORD type, WORD category, DWORD event_id,
                        WORD count, LPCSTR* strings)
{
    return "source=" + source.source_name + " type=" + std::to_string(type) +
           " category=" + std::to_string(category) + " id=" + std::to_string(event_id) +
           " strings=" + std::to_string(count) + "\n" + strings_text(count, strings) + "\n";
}

BOOL append_block(const char* file_name, const std::string& block)
{
    std::lock_guard<std::mutex> lock(event_log_mutex);
    int descriptor = open(file_name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        return fail_with_errno(errno, file_name);
    }
    // One write with O_APPEND keeps the block whole against other processes.
    ssize_t written = write(descriptor, block.data(), block.size());
    int error_number = errno;
    close(descriptor);
    if (written != static_cast<ssize_t>(block.size())) {
        return written < 0 ? fail_with_errno(error_number) : fail_with(ERROR_DISK_FULL);
    }
    return TRUE;
}

void send_to_syslog(const EventSource& source, WORD type, WORD count, LPCSTR* strings)
{
    std::string message = strings_text(count, strings);
    while (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    std::lock_guard<std::mutex> lock(event_log_mutex);
    openlog(source.source_name.c_str(), LOG_PID, LOG_USER);
    syslog(syslog_priority(type), "%s", message.c_str());
    closelog();
}

}  // namespace

HANDLE WINAPI RegisterEventSourceA(LPCSTR lpUNCServerName, LPCSTR lpSourceName)
{
    if (lpSourceName == nullptr || *lpSourceName == '\0') {
        fail_with(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Only the local machine's log exists here.
    if (lpUNCServerName != nullptr && *lpUNCServerName != '\0') {
        fail_with(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto* source = new EventSource();
    source->kind = HandleKind::EventSource;
    source->destroy = destroy_event_source;
    source->source_name = lpSourceName;
    return handle_register(source);
}

BOOL WINAPI ReportEventA(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID,
                         PSID lpUserSid, WORD wNumStrings, DWORD dwDataSize, LPCSTR* lpStrings,
                         LPVOID lpRawData)
{
    (void)lpUserSid;
    (void)dwDataSize;
    (void)lpRawData;
    auto* source = handle_object<EventSource>(hEventLog, HandleKind::EventSource);
    if (source == nullptr) {
        return FALSE;
    }
    if (wNumStrings != 0 && lpStrings == nullptr) {
        return fail_with(ERROR_INVALID_PARAMETER);
    }
    const std::string& file_name = setting_text(Setting::EventLog);
    if (!file_name.empty()) {
        return append_block(file_name.c_str(),
                            entry_block(*source, wType, wCategory, dwEventID, wNumStrings, lpStrings));
    }
    send_to_syslog(*source, wType, wNumStrings, lpStrings);
    return TRUE;
}

BOOL WINAPI DeregisterEventSource(HANDLE hEventLog)
{
    return handle_close(hEventLog, HandleKind::EventSource);
}
