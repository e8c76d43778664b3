#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "compare_worker_rig.h"
#include "engine/compare_worker.h"
#include "engine/names.h"
#include "platform/faults.h"

namespace {

void flip_byte(const std::string& path, long offset, char mask)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(offset);
    char byte = static_cast<char>(file.get());
    file.seekp(offset);
    file.put(static_cast<char>(byte ^ mask));
}

std::string account(const std::string& source, const std::string& copy, const std::string& lines)
{
    return rig_stamp + "Compare error: " + source + " vs. " + rig_task_dir + "\\" + copy + "\n" +
           "Line comparisons begin:\n" + lines + "\nLine comparisons end.\n";
}

std::string differing_line(const std::string& from, const std::string& to, const std::string& source_dump,
                           const std::string& target_dump)
{
    return "  Between Hex Offsets: " + from + " and " + to + "\nSRC: " + source_dump + "TRG: " + target_dump;
}

struct CompareWorkerTest : ::testing::Test {
    WorkerRig rig;
};

// Copies of iteration 2 count as still being copied while copy_count is 2.
// The count never goes down: a worker that went on to iteration 2 before it
// saw Cleanup leaves 2 behind.
TEST_F(CompareWorkerTest, ComparesFinishedIterationsOnlyAndLeavesNothingWhenAllIsWell)
{
    rig.prepare_without_workers(3);
    rig.copy_iterations(2);
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return !std::filesystem::exists(rig.copy(1, 2)); }));
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_EQ(rig.task->compare_count.load(), 1u);
    EXPECT_EQ(rig.task->error_count.load(), 0u);
    EXPECT_TRUE(list_native_directory(rig.native(rig.task->target_drive->dir_path)).empty());
}

// A copy of the wrong size is kept without being compared. A dump shows the
// whole line, zeros as dots.
TEST_F(CompareWorkerTest, DifferingLinesAreDumpedAndBadCopiesStayReadOnly)
{
    rig.prepare_without_workers(4);
    rig.copy_iterations(2);
    flip_byte(rig.copy(1, 0), 0xca, 0x20);  // in the short last line
    flip_byte(rig.copy(1, 1), 0x45, 0x01);
    flip_byte(rig.copy(1, 1), 0x3f0, 0x20);
    flip_byte(rig.copy(1, 2), 0x7f, 0x01);  // the line feed that a dump replaces anyway
    std::ofstream(rig.copy(1, 3), std::ios::app) << 'x';
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.log().find("Size error") != std::string::npos; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string line_40 = "00000040->" + rig_alphabet + "\n";
    const std::string dots = std::string(12, '.') + "\n";  // the zeros past the end
    EXPECT_EQ(rig.log(),
              account(rig_source_dir + "\\SRC.0", "1.0",
                      differing_line("c0", "ff", "000000c0->" + rig_alphabet.substr(0, 41) + dots,
                                     "000000c0->a" + rig_alphabet.substr(1, 40) + dots)) +
                  account(rig_source_dir + "\\SRC.1", "1.1",
                          differing_line("40", "7f", line_40, "00000140->" + rig_alphabet + "\n") +
                              differing_line("3c0", "3ff", "000003c0->" + rig_alphabet + "\n",
                                             "000003c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijkLmnopqrstuvwxyz\n")) +
                  account(rig_source_dir + "\\SRC.2", "1.2", differing_line("40", "7f", line_40, line_40)) +
                  rig_stamp + "Size error in file " + rig_task_dir + "\\1.3\n" +
                  rig_stamp + "Compare thread shutdown.\nTotal Compare Iterations = 1\n");
    EXPECT_EQ(rig.task->error_count.load(), 4u);
    for (BYTE index = 0; index < 4; ++index) {
        EXPECT_TRUE(is_read_only(rig.copy(1, index)));
        EXPECT_FALSE(std::filesystem::exists(rig.copy(2, index)));
    }
}

bool maps_contain(const std::string& path)
{
    return read_native_file("/proc/self/maps").find(path) != std::string::npos;
}

// The source is cut to nothing after its mapping was made and before its view
// is read, so the comparison faults for real. The cut is made from the box a
// log write shows while the log's directory is missing, during the report of
// the source view's first, failed try.
TEST_F(CompareWorkerTest, FaultInTheComparisonIsFilteredThenRecovered)
{
    rig.prepare_without_workers(1);
    rig.copy_iterations(2);
    snprintf(rig.task->log_path, MAX_PATH, "D:\\later\\log");
    const std::string source = rig.source(0);
    const std::string later = rig.drives.directory('D') + "/later";
    rig.on_box([&](const std::string& caption) {
        if (caption == "Durandex Log Error" && mkdir(later.c_str(), 0755) == 0) {
            truncate(source.c_str(), 0);
        }
    });
    fault_arm("MapViewOfFile", 1, ERROR_NOT_ENOUGH_MEMORY);
    rig.start(compare_worker);
    const std::string recovery = " in Non-continuable exception comparing files from C:\\ to D:\\.\n";
    ASSERT_TRUE(wait_until([&] { return rig.log().find(recovery) != std::string::npos; }));
    std::string log = rig.log();
    const std::string continued = rig_stamp + "Exception Code = c0000006\n    STATUS_IN_PAGE_ERROR\n    Continuable\n";
    EXPECT_EQ(count_of(log, continued), 10u);
    EXPECT_NE(log.find("    Exception Count Exceeded.\n" + rig_stamp + "ERROR "), std::string::npos);
    EXPECT_EQ(rig.task->state.load(), TaskState::Cleanup);
    // The failed try, the recovery's own count and its fatal report.
    EXPECT_EQ(rig.task->error_count.load(), 3u);
    EXPECT_EQ(rig.boxes().back().rfind("Durandex Error|ERROR ", 0), 0u);
    // The abandoned step's views are released; its copy is left to the cleanup.
    EXPECT_TRUE(wait_until([&] { return !maps_contain(source) && !maps_contain(rig.copy(1, 0)); }));
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_FALSE(std::filesystem::exists(rig.copy(1, 0)));
}

// The test plays the CD copy worker: copy, queue, then count.
TEST(CdCompareTest, EachIterationTakesTheOldestQueuedFile)
{
    WorkerRig rig(DRIVE_CDROM);
    rig.prepare_without_workers(0);
    mkdir((rig.drives.directory('C') + "/disc").c_str(), 0755);
    for (const std::string name : {"a", "b", "c"}) {
        std::string content(70, name[0]);
        write_native_file(rig.drives.directory('C') + "/disc/" + name, content);
        content[65] ^= name == "b" ? 0x01 : 0;
        char copy[MAX_PATH];
        format_cd_copy_name(copy, rig.task, rig.task->copy_count.load() + 1);
        write_native_file(rig.native(copy), content);
        auto* entry = static_cast<CdFileEntry*>(GlobalAlloc(GPTR, sizeof(CdFileEntry)));
        snprintf(entry->path, MAX_PATH, "C:\\disc\\%s", name.c_str());
        if (CdFileEntry* tail = rig.task->cd_queue_tail.load()) {
            tail->next = entry;
        } else {
            rig.task->cd_queue_head = entry;
        }
        rig.task->cd_queue_tail = entry;
        rig.task->copy_count.fetch_add(1, std::memory_order_release);
    }
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.log().find("Line comparisons end.") != std::string::npos; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_EQ(rig.log().find(account("C:\\disc\\b", "2.trg", differing_line("40", "7f", "bbbbbb" + std::string(57, '.') + "\n", "bcbbbb" + std::string(57, '.') + "\n"))), 0u);
    EXPECT_TRUE(is_read_only(rig.native(rig_task_dir + "\\2.trg")));
    CdFileEntry* left = rig.task->cd_queue_head.load();
    ASSERT_NE(left, nullptr);
    EXPECT_STREQ(left->path, "C:\\disc\\c");
    GlobalFree(left);
}

}  // namespace
