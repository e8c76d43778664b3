#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "temp_drives.h"
#include "engine/prepare.h"
#include "platform/clock.h"
#include "platform/faults.h"

namespace {

// `file` under the machine's directory of `letter`.
std::string kept_file(const WorkerRig& rig, char letter, const std::string& file)
{
    const std::string path = rig.drives.directory(letter) + "/durandex/TESTHOST/" + file;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    write_native_file(path, "kept");
    return path;
}

// A run with the process id of an earlier one keeps off whatever it left:
// its log, its time files, its task directory with a read-only bad copy.
TEST(RealFaultsTest, EvidenceOfAnEarlierRunWithTheSameProcessIdIsLeftAlone)
{
    for (const std::string left : {"log1.321", "tim1321.two", "4321-1.dir/1.0"}) {
        WorkerRig rig;
        const std::string kept = kept_file(rig, 'D', left);
        chmod(kept.c_str(), 0444);
        prepare_tasks(nullptr);
        EXPECT_TRUE(rig.drives.stop_workers());
        EXPECT_STREQ(rig.task->log_path, "D:\\durandex\\TESTHOST\\log1.322") << left;
        EXPECT_STREQ(rig.task->task_dir, "D:\\durandex\\TESTHOST\\4322-1.dir") << left;
        EXPECT_EQ(read_text_file(kept), "kept") << left;
        EXPECT_TRUE(is_read_only(kept)) << left;
    }
}

// A source file of 0xFFFFFFFF bytes is a size, not a failure; a file that
// could not be written is not logged as created.
TEST(RealFaultsTest, SourceFilesAreLoggedAsCreatedOnlyWhenWritten)
{
    for (const bool disk_full : {false, true}) {
        WorkerRig rig;
        truncate(kept_file(rig, 'C', "SRC.0").c_str(), 0xFFFFFFFFll);
        if (disk_full) {
            fault_arm("SetEndOfFile", 1, ERROR_DISK_FULL);
        }
        prepare_tasks(nullptr);
        // A clean task's cleanup takes its log away.
        EXPECT_EQ(count_of(rig.log(), "Created source file"), disk_full ? 0u : 10u);
        EXPECT_TRUE(rig.drives.stop_workers());
        EXPECT_EQ(rig.task->error_count.load(), disk_full ? 1u : 0u);
    }
}

// Two tasks writing to one small target: each makes the iterations its
// compare worker needs, and the fit gives each fewer files than alone.
TEST(RealFaultsTest, TwoTasksShareASmallTargetWithoutStalling)
{
    constexpr ULONGLONG twenty_mib = 20ull << 20;
    DWORD bytes = 0;
    EXPECT_EQ(fit_source_files(10, twenty_mib, twenty_mib, FALSE, FALSE, &bytes, 1), 10);
    EXPECT_EQ(fit_source_files(10, twenty_mib, twenty_mib, FALSE, FALSE, &bytes, 2), 9);
    WorkerRig rig;
    std::string why;
    if (rig.drives.add_tmpfs_drive('T', twenty_mib, &why).empty()) {
        GTEST_SKIP() << why;
    }
    Task* first = rig.task;
    first->target_drive = rig.drives.drive('T');
    rig.drives.add_drive('E');
    Task* second = rig.drives.add_task('E', 'T');
    const ULONGLONG started = clock_now_ms();
    prepare_tasks(nullptr);
    // A minute of compares at least, in which every copy is made and deleted over and over.
    EXPECT_TRUE(wait_until([&] {
        return clock_now_ms() - started >= 60000 && first->compare_count >= 15 && second->compare_count >= 15;
    }));
    EXPECT_TRUE(rig.drives.stop_workers());
    EXPECT_EQ(first->error_count.load() + second->error_count.load(), 0u);
}

}  // namespace
