#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "engine/compare_worker.h"
#include "engine/line_account.h"
#include "records/run_settings.h"
#include "platform/faults.h"
#include "platform/ui_seam.h"
#include "temp_drives.h"

namespace {

void flip_byte(const std::string& path, long offset, char mask)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(offset);
    char byte = static_cast<char>(file.get());
    file.seekp(offset);
    file.put(static_cast<char>(byte ^ mask));
}

// Two differing lines in one file, a copy of the wrong size, which is kept
// without being compared, and one whose second half reads back as zeros, as
// a cut loop device gives: 32769 lines of the 4 MiB file differ, and their
// account is bounded and closed. Copies of iteration 2 count as still being
// copied while copy_count is 2: one iteration is compared.
TEST(CompareWorkerTest, DifferingLinesAreDumpedBoundedAndBadCopiesStayReadOnly)
{
    WorkerRig rig;
    rig.prepare_without_workers(10);
    rig.copy_iterations(2);
    flip_byte(rig.copy(1, 1), 0x45, 0x01);
    flip_byte(rig.copy(1, 1), 0x3f0, 0x20);
    std::ofstream(rig.copy(1, 2), std::ios::app) << 'x';
    truncate(rig.copy(1, 9).c_str(), 0x200000);
    truncate(rig.copy(1, 9).c_str(), run_settings.source_file_sizes[9]);
    rig.start(compare_worker);
    const std::string closing = "32669 more lines differ.\n\nLine comparisons end.\n";
    ASSERT_TRUE(wait_until([&] { return rig.log().find(closing) != std::string::npos; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string log = rig.log();
    EXPECT_EQ(log.find(R"(7/3/1996, 9:05 Compare error: C:\durandex\TESTHOST\SRC.1 vs. D:\durandex\TESTHOST\4321-1.dir\1.1
Line comparisons begin:
  Between Hex Offsets: 40 and 7f
SRC: 00000040->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz
TRG: 00000140->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz
  Between Hex Offsets: 3c0 and 3ff
SRC: 000003c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz
TRG: 000003c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijkLmnopqrstuvwxyz

Line comparisons end.
7/3/1996, 9:05 Size error in file D:\durandex\TESTHOST\4321-1.dir\1.2
7/3/1996, 9:05 Compare error: C:\durandex\TESTHOST\SRC.9 vs. D:\durandex\TESTHOST\4321-1.dir\1.9
)"), 0u) << log;
    EXPECT_EQ(count_of(log, "  Between Hex Offsets: "), 2 + dumped_line_limit);
    EXPECT_NE(log.find("  Between Hex Offsets: 200000 and 20003f\nSRC: 00200000->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz"
                       "\nTRG: " + std::string(63, '.') + "\n"), std::string::npos);
    EXPECT_EQ(log.substr(log.find(closing)), closing + rig_stamp + "Compare thread shutdown.\nTotal Compare Iterations = 1\n");
    EXPECT_EQ(rig.task->error_count.load(), 3u);
    EXPECT_FALSE(std::filesystem::exists(rig.copy(1, 0))) << "a good copy goes once compared";
    for (BYTE index : {1, 2, 9}) {
        EXPECT_TRUE(is_read_only(rig.copy(1, index)));
        EXPECT_FALSE(std::filesystem::exists(rig.copy(2, index)));
    }
}

// The source is cut to nothing after its mapping was made and before its view
// is read, so the comparison faults for real. The cut is made from the box a
// log write shows while the log's directory is missing, during the report of
// the source view's first, failed try. The filter's own log writes must not
// leave their code for the recovery's report.
TEST(CompareWorkerTest, FaultInTheComparisonIsFilteredThenRecovered)
{
    std::string last_box;  // written by the worker only, read once it has ended
    WorkerRig rig;
    rig.prepare_without_workers(1);
    rig.copy_iterations(2);
    snprintf(rig.task->log_path, MAX_PATH, "D:\\later\\log");
    const std::string source = rig.source(0);
    const std::string later = rig.drives.directory('D') + "/later";
    set_message_box_observer([&](HWND, const char* text, const char* caption, UINT) {
        last_box = std::string(caption) + "|" + text;
        if (last_box.rfind("Durandex Log Error|", 0) == 0 && mkdir(later.c_str(), 0755) == 0) {
            truncate(source.c_str(), 0);
        }
    });
    fault_arm("MapViewOfFile", 1, ERROR_NOT_ENOUGH_MEMORY);
    rig.start(compare_worker);
    const std::string recovery = " in Non-continuable exception comparing files from C:\\ to D:\\.\n";
    ASSERT_TRUE(wait_until([&] { return rig.log().find(recovery) != std::string::npos; }));
    std::string log = rig.log();
    EXPECT_EQ(count_of(log, rig_stamp + "Exception Code = c0000006\n    STATUS_IN_PAGE_ERROR\n    Continuable\n"), 10u);
    EXPECT_NE(log.find("    Exception Count Exceeded.\n" + rig_stamp + "ERROR 23" + recovery), std::string::npos) << log;
    EXPECT_EQ(rig.task->state.load(), TaskState::Cleanup);
    // The failed try, the recovery's own count and its fatal report.
    EXPECT_EQ(rig.task->error_count.load(), 3u);
    // The abandoned step's views are released; its copy is left to the cleanup.
    const auto mapped = [](const std::string& path) { return read_native_file("/proc/self/maps").find(path) != std::string::npos; };
    EXPECT_TRUE(wait_until([&] { return !mapped(source) && !mapped(rig.copy(1, 0)); }));
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_FALSE(std::filesystem::exists(rig.copy(1, 0)));
    EXPECT_EQ(last_box.rfind("Durandex Error|ERROR ", 0), 0u);
}

}  // namespace
