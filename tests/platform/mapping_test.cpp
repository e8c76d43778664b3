#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "files_test_support.h"
#include "platform/settings.h"

namespace {

using namespace files_test;

class MappingTest : public DriveTest {
protected:
    // Pages of a fresh whole-file view that are in memory before anything
    // reads them.
    size_t resident_pages_of_fresh_view(const char* path, size_t length)
    {
        HANDLE file = nullptr, mapping = nullptr;
        const char* view = map_whole(path, &file, &mapping);
        EXPECT_NE(view, nullptr);
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> residency((length + page - 1) / page);
        EXPECT_EQ(mincore(const_cast<char*>(view), length, residency.data()), 0);
        const auto resident = std::count_if(residency.begin(), residency.end(), [](unsigned char f) { return f & 1; });
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        CloseHandle(file);
        return static_cast<size_t>(resident);
    }
};

TEST_F(MappingTest, ViewShowsTheWholeFileOutlivesItsHandlesAndIsUnmappedOnce)
{
    const std::string bytes = "line one\nline two\n";
    write_native(c_dir_ + "/SRC.1", bytes);
    HANDLE file = nullptr, mapping = nullptr;
    const char* view = nullptr;
    EXPECT_QUIET_SUCCESS((view = map_whole("C:\\SRC.1", &file, &mapping)) != nullptr);
    // A file handle is no mapping handle.
    EXPECT_FAILS(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr, ERROR_INVALID_HANDLE);
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::string(view, bytes.size()), bytes);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FAILS(UnmapViewOfFile(view), FALSE, ERROR_INVALID_ADDRESS);
    int not_a_view = 0;
    EXPECT_FAILS(UnmapViewOfFile(&not_a_view), FALSE, ERROR_INVALID_ADDRESS);
    EXPECT_FAILS(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr,
                 ERROR_INVALID_HANDLE);
}

TEST_F(MappingTest, EmptyFilesWriteAccessAndViewsBeyondTheFileAreRefused)
{
    write_native(c_dir_ + "/empty", "");
    HANDLE empty = open_file("C:\\empty", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(empty, INVALID_HANDLE_VALUE);
    EXPECT_FAILS(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr, ERROR_FILE_INVALID);
    CloseHandle(empty);
    write_native(c_dir_ + "/f", "abc");
    HANDLE writer = open_file("C:\\f", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_FAILS(CreateFileMappingA(writer, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr, ERROR_ACCESS_DENIED);
    CloseHandle(writer);
    HANDLE reader = open_file("C:\\f", GENERIC_READ, OPEN_EXISTING);
    HANDLE mapping = CreateFileMappingA(reader, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_FAILS(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4), nullptr, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(CreateFileMappingA(reader, nullptr, PAGE_READONLY, 0, 4, nullptr), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    CloseHandle(mapping);
    CloseHandle(reader);
}

TEST_F(MappingTest, FreshViewOfAJustCopiedFileIsReadFromTheDriveUnlessReadsAreCached)
{
    const size_t length = 2 * 1024 * 1024;
    write_native(c_dir_ + "/SRC.0", std::string(length, 'q'));
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\1.0", FALSE));
    EXPECT_EQ(resident_pages_of_fresh_view("D:\\1.0", length), 0u);
    EXPECT_EQ(resident_pages_of_fresh_view("C:\\SRC.0", length), 0u);
    setting_override(Setting::CachedReads, "1");
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\2.0", FALSE));
    EXPECT_GT(resident_pages_of_fresh_view("D:\\2.0", length), 0u);
}

}  // namespace
