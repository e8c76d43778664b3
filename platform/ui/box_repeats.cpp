#include "platform/ui/box_repeats.h"

namespace {

constexpr ULONGLONG repeat_interval_ms = 60000;

std::string first_line(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

}  // namespace

std::string BoxRepeats::lines_for(const std::string& caption, const std::string& text,
                                  ULONGLONG now_ms)
{
    std::lock_guard<std::mutex> guard(lock_);
    const std::string key = caption + '\n' + text;
    auto found = seen_.find(key);
    if (found == seen_.end()) {
        if (seen_.size() >= kept_boxes) {
            seen_.clear();
        }
        seen_[key] = Seen{now_ms, 0};
        return caption + ": " + text + "\n";
    }
    Seen& seen = found->second;
    ++seen.repeats;
    if (now_ms - seen.written_ms < repeat_interval_ms) {
        return std::string();
    }
    std::string line = caption + ": repeated " + std::to_string(seen.repeats) +
                       " times in the last minute: " + first_line(text) + "\n";
    seen = Seen{now_ms, 0};
    return line;
}
