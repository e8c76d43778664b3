#include "report/time_file.h"

#include <string>

#include "records/run_settings.h"
#include "report/error_report.h"
#include "report/event_log.h"
#include "report/log_text.h"

namespace {

std::string time_file_record(const SYSTEMTIME& now, Task* task, DWORD error_count)
{
    return date_time_text(now) +
           format_text("\nCopy=%d, Comp=%d, Err=%d, Excp=%d\n", (int)task->copy_count.load(),
                       (int)task->compare_count.load(), (int)error_count,
                       (int)task->exception_count.load());
}

// The event log hears of a task's errors only when they pass the highest
// count already reported, so one task's steady errors do not flood it.
void report_new_error_high(DWORD error_count, const std::string& record)
{
    LONG count = (LONG)error_count;
    if (count > run_settings.max_reported_error_count.load()) {
        run_settings.max_reported_error_count.store(count);
        report_event("durandex", record.c_str());
    }
}

}  // namespace

void write_time_file(Task* task)
{
    if (task->state.load() != TaskState::Working) {
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string path = format_text(now.wMinute % 2 != 0 ? "%s.two" : "%s.one", task->time_path);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              run_settings.file_flags.load() | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        report_error(task, FALSE, "Opening time file.");
        return;
    }
    // One reading of the count serves the record and the comparison alike.
    DWORD error_count = task->error_count.load();
    std::string record = time_file_record(now, task, error_count);
    report_new_error_high(error_count, record);
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
}
