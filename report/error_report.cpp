#include "report/error_report.h"

#include <string>

#include "records/run_settings.h"
#include "report/event_log.h"
#include "report/log_text.h"
#include "report/run_findings.h"
#include "report/task_log.h"

namespace {

const ErrorExplanation* find_explanation(DWORD code)
{
    for (const ErrorExplanation& entry : error_explanations) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// The message is formatted at its full length, so an action text with long
// paths is logged whole rather than cut.
std::string error_message(DWORD code, const char* action_text, const ErrorExplanation* entry)
{
    return format_text("ERROR %d in %s\n", (int)code, action_text) +
           (entry != nullptr ? entry->explanation : unlisted_error_explanation);
}

}  // namespace

void report_error(Task* task, BOOL fatal, const char* action_text)
{
    raise_error_count(task);
    DWORD code = GetLastError();
    if (code == 0) {
        return;
    }
    if (fatal) {
        task->state.store(TaskState::Cleanup);
    }
    const ErrorExplanation* entry = find_explanation(code);
    std::string message = error_message(code, action_text, entry);
    record_error_finding(task, code, format_text("ERROR %d in %s", (int)code, action_text));
    if (entry != nullptr && entry->to_event_log) {
        report_error_event("durandex", message.c_str());
    }
    if (fatal) {
        MessageBoxA(run_settings.main_window.load(), message.c_str(), "Durandex Error",
                    MB_ICONEXCLAMATION | MB_OK);
    }
    write_task_log(task, TRUE, message.c_str());
}
