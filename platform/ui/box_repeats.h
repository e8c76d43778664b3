// Message boxes that nobody answers (headless, or before a backend runs) are
// written to standard error. A target that refuses every call raises the same
// box many thousand times a second; each box is written once, and then at
// most one line a minute says how many times it came again.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/win32.h"

class BoxRepeats {
public:
    // The text to write for one box shown at `now_ms`: the box itself the
    // first time, a repeat count once a minute after, else nothing.
    std::string lines_for(const std::string& caption, const std::string& text, ULONGLONG now_ms);

private:
    struct Seen {
        ULONGLONG written_ms;
        unsigned long repeats;
    };
    // Distinct boxes kept; a storm of ever new texts cannot grow the table
    // without end, it only brings old boxes back as if new.
    static constexpr size_t kept_boxes = 256;

    std::mutex lock_;
    std::map<std::string, Seen> seen_;
};
