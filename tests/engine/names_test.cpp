#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "engine/names.h"

namespace {

struct NamesTest : ::testing::Test {
    void SetUp() override
    {
        strcpy(drive.root_path, "D:\\");
        strcpy(drive.dir_path, "D:\\durandex\\WORKSTAT");
        strcpy(task.task_dir, "D:\\durandex\\WORKSTAT\\4321-1.dir");
        strcpy(task.time_path, "D:\\durandex\\WORKSTAT\\tim1321");
    }

    // The name just formatted, or "refused".
    std::string name(BOOL made) const { return made ? std::string(out) : "refused"; }

    Drive drive{};
    Task task{};
    char out[MAX_PATH] = {};
};

TEST_F(NamesTest, EveryNameWrapsItsNumbersAsTheFormatsSay)
{
    const std::string dir = "D:\\durandex\\WORKSTAT\\";
    const std::string task_dir = dir + "4321-1.dir\\";
    const std::pair<std::string, std::string> names[] = {
        {name(format_product_dir(out, &drive)), "D:\\durandex"},
        {name(format_source_name(out, &drive, 1009)), dir + "SRC.9"},
        {name(format_task_dir(out, &drive, 54321, 1)), dir + "4321-1.dir"},
        {name(format_log_path(out, &drive, 7, 54321)), dir + "log7.321"},
        {name(format_time_base(out, &drive, 212, 5)), dir + "tim125"},
        // Time bases of different tasks can coincide.
        {name(format_time_base(out, &drive, 1, 1023)), dir + "tim123"},
        {name(format_time_base(out, &drive, 12, 3)), dir + "tim123"},
        {name(format_time_file_name(out, &task, "two")), dir + "tim1321.two"},
        {name(format_copy_name(out, &task, 100000007, 1003)), task_dir + "7.3"},
        {name(format_copy_name(out, &task, 0xFFFFFFFF, 9)), task_dir + "94967295.9"},
        {name(format_cd_copy_name(out, &task, 200000012)), task_dir + "12.trg"},
    };
    for (const auto& [made, expected] : names) {
        EXPECT_EQ(made, expected);
    }
}

// A name longer than a path buffer is refused, never cut: a cut name could
// name another file.
TEST_F(NamesTest, NamesThatDoNotFitAreRefusedWithCode206)
{
    // "\1.0" adds four characters: 255 + 4 still fits beside the final zero.
    std::string long_dir = "D:\\" + std::string(252, 'x');
    strcpy(task.task_dir, long_dir.c_str());
    ASSERT_TRUE(format_copy_name(out, &task, 1, 0));
    EXPECT_EQ(259u, strlen(out));
    strcpy(task.time_path, (long_dir + "y").c_str());
    strcpy(drive.dir_path, long_dir.c_str());
    const std::pair<const char*, std::function<BOOL()>> refusals[] = {
        {"copy", [&] { return format_copy_name(out, &task, 10, 0); }},
        {"cd copy", [&] { return format_cd_copy_name(out, &task, 1); }},
        {"time file", [&] { return format_time_file_name(out, &task, "one"); }},
        {"task dir", [&] { return format_task_dir(out, &drive, 1, 1); }},
        {"log", [&] { return format_log_path(out, &drive, 1, 1); }},
        {"source", [&] { return format_source_name(out, &drive, 1); }},
    };
    for (const auto& [kind, format] : refusals) {
        strcpy(out, "stale");
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(format()) << kind;
        EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError()) << kind;
        EXPECT_STREQ("", out) << kind;
    }
}

}  // namespace
