#include <gtest/gtest.h>

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

// Every file for both line sizes against the reader's description, and
// literal lines that pin it down.
TEST(SourcePatternTest, EveryTableSizeForBothLineSizes)
{
    WorkerRig rig;
    rig.task->state = TaskState::Working;
    std::string files[2][10];
    for (DWORD line_size : {32u, 64u}) {
        run_settings.line_size = (BYTE)line_size;
        for (BYTE index = 0; index < 10; ++index) {
            // Through a handle away from the start, as a reused handle might be.
            HANDLE file = CreateFileA("C:\\SRC", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            SetFilePointer(file, 0, nullptr, FILE_END);
            generate_source_file(rig.task, index, file);
            CloseHandle(file);
            std::string& content = files[line_size / 64][index] = read_text_file(rig.native("C:\\SRC"));
            ASSERT_EQ(run_settings.source_file_sizes[index], content.size());
            EXPECT_TRUE(content == expected_pattern(content.size(), line_size)) << line_size << " " << (int)index;
        }
    }
    EXPECT_EQ(files[0][0].substr(7 * 32), "000000e0->QuibIsRea");
    EXPECT_EQ(files[1][9].substr(65536 * 64), "00400000->ABC");
    EXPECT_EQ(rig.task->error_count.load(), 0u);
}

}  // namespace
