#include "report/time_file.h"
#include "report_fixture.h"

namespace {

using TimeFile = ReportTest;

// Odd minutes write .two and even ones .one, each replacing its file whole; a
// file that cannot be opened is reported each time and nothing is written.
// Only working tasks write; the highest error count sent to the event log is
// shared by every task.
TEST_F(TimeFile, MinuteParityPicksTheFileAndNewErrorHighsReachTheEventLog)
{
    Task* task = make_task("tf", 123456, 123455, 0, 0);
    fix_local_time(14, 7);
    write_time_file(task);
    EXPECT_EQ(read_text_file(d_dir / "tf.time.two"), "7/3/1996, 14:07\nCopy=123456, Comp=123455, Err=0, Excp=0\n");
    task->exception_count = 2;
    fix_local_time(14, 8);
    write_time_file(task);
    fix_local_time(14, 9);
    write_time_file(task);
    EXPECT_EQ(read_text_file(d_dir / "tf.time.one"), "7/3/1996, 14:08\nCopy=123456, Comp=123455, Err=0, Excp=2\n");
    EXPECT_EQ(read_text_file(d_dir / "tf.time.two"), "7/3/1996, 14:09\nCopy=123456, Comp=123455, Err=0, Excp=2\n");
    std::snprintf(task->time_path, sizeof task->time_path, "D:\\missing\\tf.time");
    write_time_file(task);
    write_time_file(task);
    EXPECT_EQ(task->error_count.load(), 2u);
    EXPECT_EQ(task->state.load(), TaskState::Working);
    const std::string line = "7/3/1996, 14:09 ERROR 3 in Opening time file.\n   Path not found.\n";
    EXPECT_EQ(read_text_file(d_dir / "tf.log"), line + line);
    Task* idle = make_task("idle", 0, 0, 9, 0);
    for (TaskState state : {TaskState::Inactive, TaskState::Starting, TaskState::Paused, TaskState::Cleanup}) {
        idle->state = state;
        write_time_file(idle);
    }
    EXPECT_FALSE(native_exists(d_dir / "idle.time.two"));
    Task* first = make_task("first", 3, 2, 5, 0);
    Task* second = make_task("second", 4, 4, 5, 1);
    SetLastError(0);
    write_time_file(first);
    write_time_file(second);
    write_time_file(first);
    second->error_count = 6;
    write_time_file(second);
    EXPECT_EQ(event_entries(), (std::vector<std::string>{
                                   event_entry(0, "7/3/1996, 14:09\nCopy=3, Comp=2, Err=5, Excp=0\n"),
                                   // Replacing its earlier file left 183 as the last error, as CREATE_ALWAYS does.
                                   event_entry(ERROR_ALREADY_EXISTS, "7/3/1996, 14:09\nCopy=4, Comp=4, Err=6, Excp=1\n"),
                               }));
    EXPECT_EQ(run_settings.max_reported_error_count.load(), 6);
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
