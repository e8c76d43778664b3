#include "report/event_repeats.h"

namespace {

constexpr DWORD repeat_interval_ms = 60000;

}  // namespace

EventVerdict EventRepeats::verdict_for(const std::string& kind, DWORD now_ms, unsigned long* repeats)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto found = seen_.find(kind);
    if (found == seen_.end()) {
        if (seen_.size() >= kept_kinds) {
            seen_.clear();
        }
        seen_[kind] = Seen{now_ms, 0};
        return EventVerdict::Write;
    }
    Seen& seen = found->second;
    ++seen.repeats;
    // Unsigned: right across the tick count's wrap.
    if (now_ms - seen.written_ms < repeat_interval_ms) {
        return EventVerdict::HoldBack;
    }
    *repeats = seen.repeats;
    seen = Seen{now_ms, 0};
    return EventVerdict::WriteRepeatCount;
}

std::string event_kind(DWORD code, const std::string& text)
{
    std::string kind = std::to_string(code) + '\n';
    for (size_t at = 0; at < text.size(); ++at) {
        const bool digit = text[at] >= '0' && text[at] <= '9';
        if (!digit) {
            kind += text[at];
        } else if (at == 0 || text[at - 1] < '0' || text[at - 1] > '9') {
            kind += '#';
        }
    }
    return kind;
}

std::string repeat_count_text(unsigned long repeats, const std::string& text)
{
    return std::to_string(repeats) + " more like this since the last logged; the last: " +
           text.substr(0, text.find('\n')) + "\n";
}
