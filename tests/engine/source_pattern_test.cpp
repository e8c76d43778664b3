#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "records/run_settings.h"
#include "engine/source_pattern.h"
#include "temp_drives.h"

namespace {

// The pattern as a reader describes it: offset, arrow, text, line feed, line
// after line, all cut at the file's size.
std::string expected_pattern(size_t size, DWORD line_size)
{
    std::string text = line_size == 32 ? "QuibIsReallyASwellGuy" : "ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz";
    std::string pattern;
    for (unsigned offset = 0; pattern.size() < size; offset += line_size) {
        char hex[16];
        snprintf(hex, sizeof hex, "%08x", offset);
        pattern += std::string(hex) + "->" + text + "\n";
    }
    pattern.resize(size);
    return pattern;
}

struct SourcePatternTest : ::testing::Test {
    void SetUp() override
    {
        drives.add_drive('C');
        task = drives.add_task('C', 'C');
        snprintf(task->log_path, sizeof task->log_path, "C:\\pattern.log");
        task->state = TaskState::Working;
    }

    void TearDown() override { run_settings.line_size = 64; }

    // Generates source file `index` through a handle opened with `access`,
    // away from the start as a reused handle might be, and returns the file.
    std::string generate(BYTE index, DWORD access = GENERIC_READ | GENERIC_WRITE)
    {
        std::string name = "C:\\SRC." + std::to_string(index);
        HANDLE file = CreateFileA(name.c_str(), access, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        SetFilePointer(file, 0, nullptr, FILE_END);
        generate_source_file(task, index, file);
        CloseHandle(file);
        return read_native_file(drives.native(name));
    }

    TempDrives drives;
    Task* task = nullptr;
};

// Every file against the reader's description, and literal lines that pin it down.
TEST_F(SourcePatternTest, EveryTableSizeForBothLineSizes)
{
    std::string files[2][10];
    for (DWORD line_size : {32u, 64u}) {
        run_settings.line_size = (BYTE)line_size;
        for (BYTE index = 0; index < 10; ++index) {
            std::string& content = files[line_size / 64][index] = generate(index);
            ASSERT_EQ(run_settings.source_file_sizes[index], content.size());
            EXPECT_TRUE(content == expected_pattern(content.size(), line_size)) << line_size << " " << (int)index;
        }
    }
    EXPECT_EQ(files[0][0].substr(0, 64), "00000000->QuibIsReallyASwellGuy\n00000020->QuibIsReallyASwellGuy\n");
    EXPECT_EQ(files[0][0].substr(7 * 32), "000000e0->QuibIsRea");
    EXPECT_EQ(files[1][9].substr(65536 * 64), "00400000->ABC");
    EXPECT_EQ(files[1][0].substr(3 * 64), "000000c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmn");
    EXPECT_EQ(task->error_count.load(), 0u);
}

// A longer file is cut to size; a task in Cleanup gets nothing written; a
// failed write is a fatal report.
TEST_F(SourcePatternTest, ExistingFilesAreRewrittenOnlyWhileTheTaskRuns)
{
    write_native_file(drives.native("C:\\SRC.1"), std::string(10000, 'x'));
    EXPECT_EQ(generate(1), expected_pattern(1037, 64));
    write_native_file(drives.native("C:\\SRC.2"), "old");
    EXPECT_EQ(generate(2, GENERIC_READ), "old");
    EXPECT_EQ(task->error_count.load(), 1u);
    EXPECT_EQ(task->state.load(), TaskState::Cleanup);
    EXPECT_NE(read_native_file(drives.native("C:\\pattern.log")).find("in writing to source file.\n"), std::string::npos);
    write_native_file(drives.native("C:\\SRC.4"), "untouched");
    EXPECT_EQ(generate(4), "untouched");
    EXPECT_EQ(task->error_count.load(), 1u);
}

}  // namespace
