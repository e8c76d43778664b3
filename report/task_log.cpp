#include "report/task_log.h"

#include <cctype>
#include <cstring>
#include <mutex>
#include <string>

#include "records/run_settings.h"
#include "platform/guard.h"
#include "report/log_text.h"

namespace {

// All threads of a task append to the same log. One lock per log (by a hash
// of its path, case folded as Windows paths are) keeps each stamp with its
// text and stops one append from landing on top of another.
constexpr size_t log_lock_count = 64;

std::mutex& log_lock(const char* log_path)
{
    static std::mutex locks[log_lock_count];
    size_t hash = 14695981039346656037ull;
    for (const char* p = log_path; *p != '\0'; ++p) {
        hash = (hash ^ static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(*p)))) *
               1099511628211ull;
    }
    return locks[hash % log_lock_count];
}

// A log's lock is one that the exception filter takes: the filter writes the
// log on a faulting worker's thread. While this thread holds it, it must read
// no mapped view (platform/guard.h), which debug builds check.
class HeldLogLock {
public:
    explicit HeldLogLock(const char* log_path) : lock_(log_lock(log_path)) { note_filter_lock_taken(); }
    ~HeldLogLock() { release(); }
    HeldLogLock(const HeldLogLock&) = delete;
    HeldLogLock& operator=(const HeldLogLock&) = delete;

    void release()
    {
        if (lock_.owns_lock()) {
            lock_.unlock();
            note_filter_lock_released();
        }
    }

private:
    std::unique_lock<std::mutex> lock_;
};

void write_text(HANDLE file, const char* text, size_t length)
{
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
}

void tell_log_not_opened(const char* log_path, DWORD code)
{
    std::string message = format_text("Error opening Log File %s.\nErr# %d", log_path, (int)code);
    MessageBoxA(run_settings.main_window.load(), message.c_str(), "Durandex Log Error",
                MB_ICONEXCLAMATION | MB_OK);
}

void append_to_log(Task* task, BOOL stamped, const char* text)
{
    HeldLogLock lock(task->log_path);
    HANDLE file = CreateFileA(task->log_path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              run_settings.file_flags.load() | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // The box waits for the operator; the other writers need not.
        lock.release();
        tell_log_not_opened(task->log_path, code);
        OutputDebugStringA(text);
        return;
    }
    SetFilePointer(file, 0, nullptr, FILE_END);
    if (stamped) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        std::string stamp = date_time_text(now) + " ";
        write_text(file, stamp.data(), stamp.size());
    }
    OutputDebugStringA(text);
    write_text(file, text, std::strlen(text));
    FlushFileBuffers(file);
    CloseHandle(file);
}

}  // namespace

void write_task_log(Task* task, BOOL stamped, const char* text)
{
    // Callers log between a failed call and its report, and the exception
    // recovery reports what the thread last held: the log's own calls (an
    // OPEN_ALWAYS on an existing log sets 183) must not stand in for theirs.
    DWORD caller_error = GetLastError();
    append_to_log(task, stamped, text);
    SetLastError(caller_error);
}
