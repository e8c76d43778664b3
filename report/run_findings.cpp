#include "report/run_findings.h"

#include <mutex>

namespace {

// A run that goes wrong everywhere would otherwise grow without bound; the
// task logs keep the rest.
constexpr size_t findings_kept_max = 1000;

std::mutex findings_mutex;
std::vector<ErrorFinding> errors;
std::vector<BadCopyFinding> bad_copies;

std::string without_line_feeds(std::string text)
{
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

}  // namespace

void record_error_finding(const Task* task, DWORD code, const std::string& text)
{
    std::lock_guard<std::mutex> guard(findings_mutex);
    if (errors.size() < findings_kept_max) {
        errors.push_back(ErrorFinding{time(nullptr), task, without_line_feeds(text), code});
    }
}

void record_bad_copy(const Task* task, const char* path, ULONGLONG first_difference)
{
    std::lock_guard<std::mutex> guard(findings_mutex);
    if (bad_copies.size() < findings_kept_max) {
        bad_copies.push_back(BadCopyFinding{task, path, first_difference});
    }
}

std::vector<ErrorFinding> error_findings()
{
    std::lock_guard<std::mutex> guard(findings_mutex);
    return errors;
}

std::vector<BadCopyFinding> bad_copy_findings()
{
    std::lock_guard<std::mutex> guard(findings_mutex);
    return bad_copies;
}
