#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/run_settings.h"
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

class SourcePatternTest : public ::testing::Test {
protected:
    TempDrives drives;
    Task* task = nullptr;
    std::vector<std::string> boxes;

    void SetUp() override
    {
        drives.add_drive('C');
        task = drives.add_task('C', 'C');
        snprintf(task->log_path, sizeof task->log_path, "C:\\pattern.log");
        task->state = Working;
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
};

TEST_F(SourcePatternTest, EveryTableSizeForBothLineSizes)
{
    for (DWORD line_size : {32u, 64u}) {
        run_settings.line_size = (BYTE)line_size;
        for (BYTE index = 0; index < 10; ++index) {
            std::string content = generate(index);
            ASSERT_EQ(run_settings.source_file_sizes[index], content.size());
            EXPECT_TRUE(content == expected_pattern(content.size(), line_size))
                << "line size " << line_size << ", file " << (int)index;
        }
    }
    EXPECT_EQ(0u, task->error_count.load());
}

TEST_F(SourcePatternTest, FirstLinesAndCutLinesReadAsExpected)
{
    run_settings.line_size = 32;
    std::string short_lines = generate(0);
    EXPECT_EQ("00000000->QuibIsReallyASwellGuy\n00000020->QuibIsReallyASwellGuy\n",
              short_lines.substr(0, 64));
    EXPECT_EQ("000000e0->QuibIsRea", short_lines.substr(7 * 32));

    run_settings.line_size = 64;
    std::string long_lines = generate(9);
    EXPECT_EQ("00000040->", long_lines.substr(64, 10));
    EXPECT_EQ("00400000->ABC", long_lines.substr(65536 * 64));
    EXPECT_EQ("000000c0->ABCDEFGHIJKLMNOPQRSTUVWXYZ.abcdefghijklmn", generate(0).substr(3 * 64));
}

TEST_F(SourcePatternTest, ALongerFileIsCutToSize)
{
    write_native_file(drives.native("C:\\SRC.1"), std::string(10000, 'x'));
    std::string content = generate(1);
    EXPECT_EQ(expected_pattern(1037, 64), content);
    EXPECT_EQ(0u, task->error_count.load());
}

TEST_F(SourcePatternTest, TaskInCleanupGetsNothingWritten)
{
    write_native_file(drives.native("C:\\SRC.4"), "untouched");
    task->state = Cleanup;
    EXPECT_EQ("untouched", generate(4));
    EXPECT_EQ(0u, task->error_count.load());
}

TEST_F(SourcePatternTest, AFailedWriteIsAFatalReport)
{
    write_native_file(drives.native("C:\\SRC.2"), "old");
    EXPECT_EQ("old", generate(2, GENERIC_READ));
    EXPECT_EQ(1u, task->error_count.load());
    EXPECT_EQ(Cleanup, task->state.load());
    EXPECT_EQ(std::vector<std::string>{"Durandex Error"}, boxes);
    std::string log = read_native_file(drives.native("C:\\pattern.log"));
    EXPECT_NE(std::string::npos, log.find("in writing to source file.\n"));
}

}  // namespace
