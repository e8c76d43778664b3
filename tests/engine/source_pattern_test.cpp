#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "records/run_settings.h"
#include "engine/source_pattern.h"
#include "platform/ui_seam.h"
#include "temp_drives.h"

namespace {

// The pattern as a reader describes it: offset, arrow, text, line feed, line
// after line, all cut at the file's size.
std::string expected_pattern(size_t size, DWORD line_size)
{
    std::string text = line_size == 32 ? "QuibIsReallyASwellGuy"
                                       : "ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmnopqrstuvwxyz";
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
        set_message_box_observer(
            [this](HWND, const char*, const char* caption, UINT) { boxes.push_back(caption); });
    }

    void TearDown() override
    {
        set_message_box_observer({});
        run_settings.line_size = 64;
    }

    // Generates source file `index` through a handle opened with `access`
    // and returns what the file then holds.
    std::string generate(BYTE index, DWORD access = GENERIC_READ | GENERIC_WRITE)
    {
        std::string name = "C:\\SRC." + std::to_string(index);
        HANDLE file = CreateFileA(name.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, file);
        // Away from the start, as a reused handle might be.
        SetFilePointer(file, 0, nullptr, FILE_END);
        generate_source_file(task, index, file);
        CloseHandle(file);
        return read_native_file(drives.native(name));
    }

    TempDrives drives;
    Task* task = nullptr;
    std::vector<std::string> boxes;
};

// Every file against the reader's description, and the literal first lines
// and cut lines that pin that description down.
TEST_F(SourcePatternTest, EveryTableSizeForBothLineSizes)
{
    std::string files[2][10];
    for (DWORD line_size : {32u, 64u}) {
        run_settings.line_size = (BYTE)line_size;
        for (BYTE index = 0; index < 10; ++index) {
            std::string& content = files[line_size / 64][index] = generate(index);
            ASSERT_EQ(run_settings.source_file_sizes[index], content.size());
            EXPECT_TRUE(content == expected_pattern(content.size(), line_size))
                << "line size " << line_size << ", file " << (int)index;
        }
    }
    EXPECT_EQ(0u, task->error_count.load());
    EXPECT_EQ("00000000->QuibIsReallyASwellGuy\n00000020->QuibIsReallyASwellGuy\n", files[0][0].substr(0, 64));
    EXPECT_EQ("000000e0->QuibIsRea", files[0][0].substr(7 * 32));
    EXPECT_EQ("00000040->", files[1][9].substr(64, 10));
    EXPECT_EQ("00400000->ABC", files[1][9].substr(65536 * 64));
    EXPECT_EQ("000000c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmn", files[1][0].substr(3 * 64));
}

// An existing longer file is cut to size; a task in Cleanup gets nothing written.
TEST_F(SourcePatternTest, ExistingFilesAreRewrittenOnlyWhileTheTaskRuns)
{
    write_native_file(drives.native("C:\\SRC.1"), std::string(10000, 'x'));
    EXPECT_EQ(expected_pattern(1037, 64), generate(1));
    write_native_file(drives.native("C:\\SRC.4"), "untouched");
    task->state = TaskState::Cleanup;
    EXPECT_EQ("untouched", generate(4));
    EXPECT_EQ(0u, task->error_count.load());
}

TEST_F(SourcePatternTest, AFailedWriteIsAFatalReport)
{
    write_native_file(drives.native("C:\\SRC.2"), "old");
    EXPECT_EQ("old", generate(2, GENERIC_READ));
    EXPECT_EQ(1u, task->error_count.load());
    EXPECT_EQ(TaskState::Cleanup, task->state.load());
    EXPECT_EQ(std::vector<std::string>{"Durandex Error"}, boxes);
    std::string log = read_native_file(drives.native("C:\\pattern.log"));
    EXPECT_NE(std::string::npos, log.find("in writing to source file.\n"));
}

}  // namespace
