// A failing drive can report the same error thousands of times a second, and
// each report of a drive-level code is an event log entry. Reports of one
// kind (the same code and text but for their numbers: file index, iteration)
// reach the log the first time; after that they are held back, and at most one
// entry a minute says how many came and gives the last one's first line.
// Nothing is lost from the task logs or the error counts, which record every
// report.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/win32.h"

enum class EventVerdict { Write, HoldBack, WriteRepeatCount };

class EventRepeats {
public:
    // What to do with an entry of this kind at `now_ms`: write it (the first
    // time), hold it back, or write a repeat count instead (a minute or more
    // after the last write of the kind); `*repeats` is then the count,
    // this entry included.
    EventVerdict verdict_for(const std::string& kind, DWORD now_ms, unsigned long* repeats);

private:
    struct Seen {
        DWORD written_ms;
        unsigned long repeats;
    };
    // Distinct kinds kept; a storm of ever new kinds cannot grow the table
    // without end, it only brings old kinds back as if new.
    static constexpr size_t kept_kinds = 256;

    std::mutex lock_;
    std::map<std::string, Seen> seen_;
};

// The kind of an error report: the code and the text with every run of
// digits as one '#'.
std::string event_kind(DWORD code, const std::string& text);

// The second string of a repeat count entry: the count and the first line of
// the entry that came again.
std::string repeat_count_text(unsigned long repeats, const std::string& text);
