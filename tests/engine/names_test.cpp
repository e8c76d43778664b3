#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/names.h"

namespace {

class NamesTest : public ::testing::Test {
protected:
    Drive drive{};
    Task task{};
    char out[MAX_PATH] = {};

    void SetUp() override
    {
        strcpy(drive.root_path, "D:\\");
        strcpy(drive.dir_path, "D:\\durandex\\WORKSTAT");
        strcpy(task.task_dir, "D:\\durandex\\WORKSTAT\\4321-1.dir");
        strcpy(task.time_path, "D:\\durandex\\WORKSTAT\\tim1321");
    }
};

TEST_F(NamesTest, EveryNameWrapsItsNumbersAsTheFormatsSay)
{
    const std::string dir = "D:\\durandex\\WORKSTAT\\";
    const std::string task_dir = dir + "4321-1.dir\\";
    ASSERT_TRUE(format_product_dir(out, &drive));
    EXPECT_EQ("D:\\durandex", std::string(out));
    ASSERT_TRUE(format_source_name(out, &drive, 1009));
    EXPECT_EQ(dir + "SRC.9", out);
    ASSERT_TRUE(format_task_dir(out, &drive, 54321, 1));
    EXPECT_EQ(dir + "4321-1.dir", out);
    ASSERT_TRUE(format_log_path(out, &drive, 7, 54321));
    EXPECT_EQ(dir + "log7.321", out);
    ASSERT_TRUE(format_time_base(out, &drive, 212, 5));
    EXPECT_EQ(dir + "tim125", out);
    ASSERT_TRUE(format_time_file_name(out, &task, "two"));
    EXPECT_EQ(dir + "tim1321.two", out);
    ASSERT_TRUE(format_copy_name(out, &task, 100000007, 1003));
    EXPECT_EQ(task_dir + "7.3", out);
    ASSERT_TRUE(format_copy_name(out, &task, 0xFFFFFFFF, 9));
    EXPECT_EQ(task_dir + "94967295.9", out);
    ASSERT_TRUE(format_cd_copy_name(out, &task, 200000012));
    EXPECT_EQ(task_dir + "12.trg", out);
}

TEST_F(NamesTest, TimeBasesOfDifferentTasksCanCoincide)
{
    char second[MAX_PATH];
    ASSERT_TRUE(format_time_base(out, &drive, 1, 1023));
    ASSERT_TRUE(format_time_base(second, &drive, 12, 3));
    EXPECT_STREQ("D:\\durandex\\WORKSTAT\\tim123", out);
    EXPECT_STREQ(out, second);
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
    const auto refusals = {
        format_copy_name(out, &task, 10, 0), format_cd_copy_name(out, &task, 1),
        format_time_file_name(out, &task, "one"), format_task_dir(out, &drive, 1, 1),
        format_log_path(out, &drive, 1, 1), format_source_name(out, &drive, 1),
    };
    for (BOOL result : refusals) {
        EXPECT_FALSE(result);
    }
    EXPECT_EQ((DWORD)ERROR_FILENAME_EXCED_RANGE, GetLastError());
    EXPECT_STREQ("", out);
}

}  // namespace
