#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "engine/names.h"

namespace {

// Each name wraps its numbers as the formats say (the copy names' wraps are
// in the cleanup test). A name longer than a path buffer is refused with code
// 206, never cut: a cut name could name another file.
TEST(NamesTest, NamesWrapTheirNumbersAndThoseThatDoNotFitAreRefused)
{
    Drive drive{};
    Task task{};
    char out[MAX_PATH] = {};
    strcpy(drive.root_path, "D:\\");
    strcpy(drive.dir_path, "D:\\durandex\\WORKSTAT");
    strcpy(task.task_dir, "D:\\durandex\\WORKSTAT\\4321-1.dir");
    const std::pair<std::function<BOOL()>, std::string> names[] = {
        {[&] { return format_source_name(out, &drive, 1009); }, "D:\\durandex\\WORKSTAT\\SRC.9"},
        {[&] { return format_task_dir(out, &drive, 54321, 1); }, "D:\\durandex\\WORKSTAT\\4321-1.dir"},
        {[&] { return format_log_path(out, &drive, 7, 54321); }, "D:\\durandex\\WORKSTAT\\log7.321"},
        // Time bases of different tasks can coincide.
        {[&] { return format_time_base(out, &drive, 1, 1023); }, "D:\\durandex\\WORKSTAT\\tim123"},
        {[&] { return format_time_base(out, &drive, 12, 3); }, "D:\\durandex\\WORKSTAT\\tim123"},
        {[&] { return format_cd_copy_name(out, &task, 200000012); }, "D:\\durandex\\WORKSTAT\\4321-1.dir\\12.trg"},
    };
    for (const auto& [format, expected] : names) {
        EXPECT_TRUE(format()) << expected;
        EXPECT_EQ(out, expected);
    }
    // "\1.0" adds four characters: 255 + 4 still fits beside the final zero.
    const std::string long_dir = "D:\\" + std::string(252, 'x');
    strcpy(task.task_dir, long_dir.c_str());
    ASSERT_TRUE(format_copy_name(out, &task, 1, 0));
    EXPECT_EQ(strlen(out), 259u);
    strcpy(task.time_path, (long_dir + "y").c_str());
    strcpy(drive.dir_path, long_dir.c_str());
    const std::function<BOOL()> refusals[] = {
        [&] { return format_copy_name(out, &task, 10, 0); }, [&] { return format_cd_copy_name(out, &task, 1); },
        [&] { return format_time_file_name(out, &task, "one"); }, [&] { return format_task_dir(out, &drive, 1, 1); },
        [&] { return format_log_path(out, &drive, 1, 1); },      [&] { return format_source_name(out, &drive, 1); },
    };
    for (const auto& format : refusals) {
        strcpy(out, "stale");
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(format()) << &format - refusals;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
        EXPECT_STREQ(out, "");
    }
}

}  // namespace
