#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "temp_drives.h"
#include "engine/compare_worker.h"
#include "engine/exception_filter.h"
#include "engine/line_account.h"
#include "engine/prepare.h"
#include "records/run_settings.h"
#include "platform/faults.h"
#include "platform/guard.h"
#include "platform/system_seam.h"
#include "report/task_log.h"

namespace {

// A copy whose second half reads back as zeros, as a cut loop device gives:
// 32769 lines of the 4 MiB file differ.
TEST(RealFaultsTest, DamagedCopyGetsABoundedClosedAccountAndLetsTheTaskEnd)
{
    WorkerRig rig;
    rig.prepare_without_workers(10);
    rig.copy_iterations(2);
    const std::string damaged = rig.copy(1, 9);
    truncate(damaged.c_str(), 0x200000);
    truncate(damaged.c_str(), run_settings.source_file_sizes[9]);
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.log().find("Line comparisons end.") != std::string::npos; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string log = rig.log();
    EXPECT_EQ(count_of(log, "  Between Hex Offsets: "), dumped_line_limit);
    EXPECT_NE(log.find("  Between Hex Offsets: 200000 and 20003f\nSRC: 00200000->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz"
                       "\nTRG: " + std::string(63, '.') + "\n"), std::string::npos);
    EXPECT_NE(log.find("32669 more lines differ.\n\nLine comparisons end.\n"), std::string::npos);
    EXPECT_TRUE(is_read_only(damaged));
}

void read_view(void* view)
{
    volatile const BYTE* bytes = static_cast<const BYTE*>(view);
    (void)bytes[4096];
}

// A view whose file was cut under it faults for real; the filter's own log
// writes must not leave their code for the recovery's report.
TEST(RealFaultsTest, InPageRecoveryReportsTheDeviceErrorNotTheLogWritesCode)
{
    WorkerRig rig;
    rig.prepare_without_workers(0);
    rig.task->state = TaskState::Working;
    write_task_log(rig.task, FALSE, "head\n");
    SetLastError(ERROR_SHARING_VIOLATION);
    write_task_log(rig.task, FALSE, "on an existing log\n");
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);

    const std::string path = rig.drives.directory('D') + "/cut";
    write_native_file(path, std::string(8192, 'x'));
    HANDLE file = CreateFileA("D:\\cut", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    truncate(path.c_str(), 0);
    TaskGuard guard = {rig.task, 0};
    SetLastError(NO_ERROR);
    EXPECT_FALSE(run_guarded(read_view, view, filter_task_exception, &guard));
    recover_from_exception(&guard, "Non-continuable exception comparing files from %s to %s.");
    EXPECT_NE(rig.log().find("ERROR 23 in Non-continuable exception comparing files from C:\\ to D:\\."),
              std::string::npos);
    EXPECT_EQ(rig.task->state.load(), TaskState::Cleanup);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
}

// Preparation and workers for real, with the process id fixed.
struct PreparedRun {
    PreparedRun() { system_fix_process_id(123); }
    ~PreparedRun()
    {
        drives.stop_workers();
        fault_reset();
        system_fix_process_id(0);
    }
    // A task from C: to D: with `file` under the machine's directory of `letter`.
    Task* task_with_file_on(char letter, const std::string& file)
    {
        drives.add_drive('C');
        drives.add_drive('D');
        const std::string path = drives.directory(letter) + "/durandex/TESTHOST/" + file;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        write_native_file(path, "kept");
        return drives.add_task('C', 'D');
    }
    TempDrives drives;
};

// A run with the process id of an earlier one keeps off whatever it left:
// its log, its time files, its task directory with a read-only bad copy.
TEST(RealFaultsTest, EvidenceOfAnEarlierRunWithTheSameProcessIdIsLeftAlone)
{
    for (const std::string left : {"log1.123", "tim1123.two", "123-1.dir/1.0"}) {
        PreparedRun run;
        Task* task = run.task_with_file_on('D', left);
        const std::string kept = run.drives.directory('D') + "/durandex/TESTHOST/" + left;
        chmod(kept.c_str(), 0444);
        prepare_tasks(nullptr);
        EXPECT_TRUE(run.drives.stop_workers());
        EXPECT_STREQ(task->log_path, "D:\\durandex\\TESTHOST\\log1.124") << left;
        EXPECT_STREQ(task->task_dir, "D:\\durandex\\TESTHOST\\124-1.dir") << left;
        EXPECT_EQ(read_native_file(kept), "kept") << left;
        EXPECT_TRUE(is_read_only(kept)) << left;
    }
}

// A source file of 0xFFFFFFFF bytes is a size, not a failure; a file that
// could not be written is not logged as created.
TEST(RealFaultsTest, SourceFilesAreLoggedAsCreatedOnlyWhenWritten)
{
    for (const bool disk_full : {false, true}) {
        PreparedRun run;
        Task* task = run.task_with_file_on('C', "SRC.0");
        truncate((run.drives.directory('C') + "/durandex/TESTHOST/SRC.0").c_str(), 0xFFFFFFFFll);
        if (disk_full) {
            fault_arm("SetEndOfFile", 1, ERROR_DISK_FULL);
        }
        prepare_tasks(nullptr);
        // A clean task's cleanup takes its log away.
        EXPECT_EQ(count_of(read_native_file(run.drives.native(task->log_path)), "Created source file"),
                  disk_full ? 0u : 10u);
        EXPECT_TRUE(run.drives.stop_workers());
        EXPECT_EQ(task->error_count.load(), disk_full ? 1u : 0u);
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
    PreparedRun run;
    std::string why;
    if (run.drives.add_tmpfs_drive('D', twenty_mib, &why).empty()) {
        GTEST_SKIP() << why;
    }
    run.drives.add_drive('C');
    run.drives.add_drive('E');
    Task* first = run.drives.add_task('C', 'D');
    Task* second = run.drives.add_task('E', 'D');
    prepare_tasks(nullptr);
    EXPECT_TRUE(wait_until([&] { return first->compare_count >= 3 && second->compare_count >= 3; }));
    EXPECT_TRUE(run.drives.stop_workers());
    EXPECT_EQ(first->error_count.load() + second->error_count.load(), 0u);
}

}  // namespace
