// A real in-page error for the guard's tests: a two-page file mapped
// read-only whose second page is cut off under the view. Reading that page
// raises SIGBUS with BUS_ADRERR, exactly as a page the disk cannot deliver.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "platform/guard.h"

class TruncatedView {
public:
    TruncatedView() : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE)))
    {
        char path[] = "/tmp/guard-view-XXXXXX";
        fd_ = mkstemp(path);
        // Nameless from the start: a crash test's child leaves nothing behind.
        unlink(path);
        const std::string content(2 * page_, 'a');
        if (fd_ < 0 || write(fd_, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
            return;
        }
        void* view = mmap(nullptr, 2 * page_, PROT_READ, MAP_SHARED, fd_, 0);
        view_ = view == MAP_FAILED ? nullptr : static_cast<char*>(view);
        ready_ = view_ != nullptr && ftruncate(fd_, static_cast<off_t>(page_)) == 0;
    }
    ~TruncatedView()
    {
        if (view_ != nullptr) {
            munmap(view_, 2 * page_);
        }
        close(fd_);
    }
    TruncatedView(const TruncatedView&) = delete;
    bool ready() const { return ready_; }
    const volatile char* intact_byte() const { return view_ + 17; }
    const volatile char* lost_byte() const { return view_ + page_ + 100; }
    // Gives the file its second page back, as zeros.
    bool regrow() { return ftruncate(fd_, static_cast<off_t>(2 * page_)) == 0; }

private:
    size_t page_;
    int fd_ = -1;
    char* view_ = nullptr;
    bool ready_ = false;
};

// A pass that reads one byte and notes how far it got.
struct ReadPass {
    const volatile char* address = nullptr;
    int started = 0;
    bool finished = false;
    char value = 0;
};

inline void read_one_byte(void* context)
{
    auto* pass = static_cast<ReadPass*>(context);
    ++pass->started;
    pass->value = *pass->address;
    pass->finished = true;
}

// A filter that continues `continues` times, then gives `final_verdict`, and
// keeps what it was shown.
struct FaultLog {
    int continues = 0, calls = 0;
    LONG final_verdict = EXCEPTION_EXECUTE_HANDLER;
    DWORD code = 0;
    EXCEPTION_RECORD record = {};
    bool context_record_null = false;
};

inline LONG logging_filter(void* context, DWORD code, EXCEPTION_POINTERS* info)
{
    auto* log = static_cast<FaultLog*>(context);
    ++log->calls;
    log->code = code;
    log->record = *info->ExceptionRecord;
    log->context_record_null = info->ContextRecord == nullptr;
    return log->calls <= log->continues ? EXCEPTION_CONTINUE_EXECUTION : log->final_verdict;
}
