#include "report/event_log.h"

#include <string>

#include "report/event_repeats.h"
#include "report/log_text.h"

namespace {

// Lives until the process ends: workers may report while it exits.
EventRepeats& error_event_repeats()
{
    static auto* repeats = new EventRepeats();
    return *repeats;
}

}  // namespace

void register_event_source(const char* source_name)
{
    std::string key_path =
        format_text("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\%s", source_name);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        RegCloseKey(key);
        return;
    }
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, key_path.c_str(), &key) != ERROR_SUCCESS) {
        return;
    }
    std::string message_file = format_text("%s.exe", source_name);
    RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ,
                   reinterpret_cast<const BYTE*>(message_file.c_str()),
                   static_cast<DWORD>(message_file.size() + 1));
    DWORD types_supported = 1;
    RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types_supported),
                   sizeof types_supported);
    RegCloseKey(key);
}

void report_event(const char* source_name, const char* text)
{
    register_event_source(source_name);
    DWORD code = GetLastError();
    HANDLE event_log = RegisterEventSourceA(nullptr, source_name);
    if (event_log == nullptr) {
        return;
    }
    std::string first = format_text("%s error: %d", source_name, (int)code);
    LPCSTR strings[2] = {first.c_str(), text};
    ReportEventA(event_log, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 2, 0, strings, nullptr);
    DeregisterEventSource(event_log);
}

void report_error_event(const char* source_name, const char* text)
{
    const DWORD code = GetLastError();
    const DWORD now_ms = GetTickCount();
    unsigned long repeats = 0;
    const EventVerdict verdict = error_event_repeats().verdict_for(event_kind(code, text), now_ms, &repeats);
    // The entry, and a count in its place, carry the code of the report.
    SetLastError(code);
    if (verdict == EventVerdict::Write) {
        report_event(source_name, text);
    } else if (verdict == EventVerdict::WriteRepeatCount) {
        report_event(source_name, repeat_count_text(repeats, text).c_str());
    }
    SetLastError(code);
}
