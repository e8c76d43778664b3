#include <gtest/gtest.h>

#include <cstring>

#include "drives/drive.h"
#include "engine/records.h"
#include "engine/run_settings.h"
#include "engine/task.h"

TEST(TaskStateWord, EveryStateHasItsWord)
{
    EXPECT_STREQ(task_state_word(Inactive), "Inactive");
    EXPECT_STREQ(task_state_word(Working), "Working");
    EXPECT_STREQ(task_state_word(Cleanup), "Cleanup");
    EXPECT_STREQ(task_state_word(Starting), "Starting");
    EXPECT_STREQ(task_state_word(Paused), "Paused ");
    EXPECT_EQ(std::strlen(task_state_word(Paused)), std::strlen(task_state_word(Working)))
        << "the paused word covers the working word it replaces";
}

TEST(RunSettingsModel, SourceFileSizesLieThirteenBytesFromPowersOfTwo)
{
    const DWORD powers[source_file_count_max] = {256, 1024, 4096, 4096, 65536, 65536, 262144, 262144, 1048576, 4194304};
    ULONGLONG sum = 0;
    for (int index = 0; index < source_file_count_max; ++index) {
        DWORD size = run_settings.source_file_sizes[index];
        DWORD distance = size > powers[index] ? size - powers[index] : powers[index] - size;
        EXPECT_EQ(distance, 13u) << "index " << index;
        sum += size;
    }
    EXPECT_EQ(sum, 5907712u);
}

TEST(Records, AllocatedZeroFilled)
{
    Task* task = allocate_record<Task>();
    Drive* drive = allocate_record<Drive>();
    ASSERT_NE(task, nullptr);
    ASSERT_NE(drive, nullptr);
    EXPECT_EQ(task->state.load(), Inactive);
    EXPECT_EQ(task->copy_thread_id.load(), 0u);
    EXPECT_EQ(task->source_drive, nullptr);
    EXPECT_EQ(task->next, nullptr);
    EXPECT_EQ(task->task_dir[0], '\0');
    EXPECT_EQ(task->shown_error_count, 0u);
    EXPECT_EQ(drive->next, nullptr);
    EXPECT_EQ(drive->button_id, 0);
    EXPECT_EQ(drive->volume_name[0], '\0');
    EXPECT_EQ(drive->total_clusters.load(), 0u);
    free_record(task);
    free_record(drive);
}
