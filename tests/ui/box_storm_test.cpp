#include <gtest/gtest.h>
#include <algorithm>

#include "platform/ui/box_repeats.h"

namespace {

constexpr ULONGLONG minute = 60000;

// A storm of one box, with another box between: each is written once, and
// its repeats only as a count once a minute.
TEST(BoxStormTest, ARepeatedBoxIsWrittenOnceThenCountedOnceAMinute)
{
    BoxRepeats repeats;
    const std::string log_box = "Error opening Log File D:\\x\\log1.1.\nErr# 30";
    const struct { const char* caption; std::string text; ULONGLONG at_ms; std::string written; } shown[] = {
        {"Durandex Log Error", log_box, 0, "Durandex Log Error: " + log_box + "\n"},
        {"Durandex Log Error", log_box, 1, ""},
        {"Durandex Error", "ERROR 21", 2, "Durandex Error: ERROR 21\n"},
        {"Durandex Log Error", log_box, minute - 1, ""},
        {"Durandex Log Error", log_box, minute,
         "Durandex Log Error: repeated 3 times in the last minute: Error opening Log File D:\\x\\log1.1.\n"},
        {"Durandex Log Error", log_box, minute + 1, ""},
        {"Durandex Error", "ERROR 21", minute + 2, "Durandex Error: repeated 1 times in the last minute: ERROR 21\n"},
    };
    for (const auto& box : shown) {
        EXPECT_EQ(repeats.lines_for(box.caption, box.text, box.at_ms), box.written) << box.at_ms;
    }
    std::string storm;
    for (ULONGLONG at_ms = 2 * minute; at_ms < 12 * minute; at_ms += 2) {
        storm += repeats.lines_for("Durandex Log Error", log_box, at_ms);
    }
    EXPECT_EQ(std::count(storm.begin(), storm.end(), '\n'), 10);
}

}  // namespace
