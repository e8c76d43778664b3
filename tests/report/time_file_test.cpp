#include <gtest/gtest.h>

#include <filesystem>

#include "engine/run_settings.h"
#include "report/time_file.h"
#include "report_fixture.h"

namespace {

using TimeFile = ReportTest;

void set_counts(Task* task, DWORD copies, DWORD compares, DWORD errors, DWORD exceptions)
{
    task->copy_count.store(copies);
    task->compare_count.store(compares);
    task->error_count.store(errors);
    task->exception_count.store(exceptions);
}

TEST_F(TimeFile, OddMinuteWritesTwoAndEvenMinuteWritesOne)
{
    Task* task = make_task("tf");
    set_counts(task, 17, 16, 0, 0);
    fix_local_time(14, 7);
    write_time_file(task);
    EXPECT_EQ(read_file(on_drive_d("tf.time.two")), "7/3/1996, 14:07\nCopy=17, Comp=16, Err=0, Excp=0\n");
    EXPECT_FALSE(std::filesystem::exists(on_drive_d("tf.time.one")));

    set_counts(task, 18, 17, 0, 2);
    fix_local_time(14, 8);
    write_time_file(task);
    EXPECT_EQ(read_file(on_drive_d("tf.time.one")), "7/3/1996, 14:08\nCopy=18, Comp=17, Err=0, Excp=2\n");
    EXPECT_EQ(read_file(on_drive_d("tf.time.two")), "7/3/1996, 14:07\nCopy=17, Comp=16, Err=0, Excp=0\n");
    EXPECT_TRUE(event_entries().empty());
}

TEST_F(TimeFile, SameParityReplacesTheFileWhole)
{
    Task* task = make_task("same");
    set_counts(task, 123456, 123455, 0, 0);
    fix_local_time(10, 0);
    write_time_file(task);
    set_counts(task, 1, 0, 0, 0);
    fix_local_time(10, 2);
    write_time_file(task);
    EXPECT_EQ(read_file(on_drive_d("same.time.one")), "7/3/1996, 10:02\nCopy=1, Comp=0, Err=0, Excp=0\n");
    EXPECT_FALSE(std::filesystem::exists(on_drive_d("same.time.two")));
}

TEST_F(TimeFile, OnlyWorkingTasksAreRecorded)
{
    for (TaskState state : {Inactive, Starting, Paused, Cleanup}) {
        Task* task = make_task(("idle" + std::to_string(state)).c_str());
        task->state.store(state);
        task->error_count.store(9);
        write_time_file(task);
        EXPECT_FALSE(std::filesystem::exists(on_drive_d(("idle" + std::to_string(state) + ".time.two").c_str())));
    }
    EXPECT_TRUE(event_entries().empty());
    EXPECT_EQ(run_settings.max_reported_error_count.load(), 0);
}

// The highest error count sent to the event log is shared by every task.
TEST_F(TimeFile, NewErrorHighsOfAnyTaskReachTheEventLog)
{
    Task* first = make_task("first");
    Task* second = make_task("second");
    set_counts(first, 3, 2, 5, 0);
    set_counts(second, 4, 4, 5, 1);
    SetLastError(0);
    write_time_file(first);
    write_time_file(second);
    write_time_file(first);
    second->error_count.store(6);
    write_time_file(second);

    EXPECT_EQ(event_entries(), (std::vector<std::string>{
                                   event_entry(0, "7/3/1996, 9:05\nCopy=3, Comp=2, Err=5, Excp=0\n"),
                                   // Replacing its earlier file left 183 as the
                                   // thread's last error, as CREATE_ALWAYS does.
                                   event_entry(ERROR_ALREADY_EXISTS,
                                               "7/3/1996, 9:05\nCopy=4, Comp=4, Err=6, Excp=1\n"),
                               }));
    EXPECT_EQ(run_settings.max_reported_error_count.load(), 6);
}

TEST_F(TimeFile, UnopenableFileIsReportedAndNothingIsWritten)
{
    Task* task = make_task("nodir");
    std::snprintf(task->time_path, sizeof task->time_path, "D:\\missing\\nodir.time");
    task->error_count.store(4);
    write_time_file(task);
    write_time_file(task);
    EXPECT_EQ(task->error_count.load(), 6u);
    EXPECT_EQ(task->state.load(), Working);
    EXPECT_EQ(read_file(on_drive_d("nodir.log")), "7/3/1996, 9:05 ERROR 3 in Opening time file.\n   Path not found.\n"
                                                  "7/3/1996, 9:05 ERROR 3 in Opening time file.\n   Path not found.\n");
    EXPECT_TRUE(event_entries().empty());
    EXPECT_TRUE(shown_boxes().empty());
}

}  // namespace
