#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "files_test_support.h"

namespace {

using files_test::sentinel;
using files_test::write_native;

class MappingTest : public files_test::DriveTest {
protected:
    void TearDown() override
    {
        unsetenv("DURANDEX_CACHED_READS");
        DriveTest::TearDown();
    }

    HANDLE open_for_reading(const char* path)
    {
        return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }

    // Pages of a fresh whole-file view that are in memory before anything
    // reads them.
    size_t resident_pages_of_fresh_view(const char* path, size_t length)
    {
        HANDLE file = open_for_reading(path);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        EXPECT_NE(mapping, nullptr);
        void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        EXPECT_NE(view, nullptr);
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> residency((length + page - 1) / page);
        EXPECT_EQ(mincore(view, length, residency.data()), 0);
        size_t resident = 0;
        for (unsigned char flags : residency) {
            resident += flags & 1;
        }
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        CloseHandle(file);
        return resident;
    }
};

TEST_F(MappingTest, ViewShowsTheWholeFile)
{
    const std::string bytes = "line one\nline two\n";
    write_native(c_dir_ + "/SRC.1", bytes);
    HANDLE file = open_for_reading("C:\\SRC.1");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(sentinel);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_EQ(std::memcmp(view, bytes.data(), bytes.size()), 0);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(MappingTest, ViewOutlivesItsMappingAndFileHandles)
{
    write_native(c_dir_ + "/f", "still readable");
    HANDLE file = open_for_reading("C:\\f");
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    const auto* view = static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(CloseHandle(mapping));
    ASSERT_TRUE(CloseHandle(file));
    EXPECT_EQ(std::string(view, 14), "still readable");
    EXPECT_TRUE(UnmapViewOfFile(view));
}

TEST_F(MappingTest, EmptyFileCannotBeMapped)
{
    write_native(c_dir_ + "/empty", "");
    HANDLE file = open_for_reading("C:\\empty");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(sentinel);
    EXPECT_EQ(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_INVALID));
    CloseHandle(file);
}

TEST_F(MappingTest, MappingsAreReadOnlyAndNeedReadAccess)
{
    write_native(c_dir_ + "/f", "abc");
    HANDLE writer = CreateFileA("C:\\f", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    SetLastError(sentinel);
    EXPECT_EQ(CreateFileMappingA(writer, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(writer);

    HANDLE reader = open_for_reading("C:\\f");
    HANDLE mapping = CreateFileMappingA(reader, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    SetLastError(sentinel);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(sentinel);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(sentinel);
    EXPECT_EQ(CreateFileMappingA(reader, nullptr, PAGE_READONLY, 0, 4, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    CloseHandle(mapping);
    CloseHandle(reader);
}

TEST_F(MappingTest, UnknownAddressesAndHandlesAreRefused)
{
    int not_a_view = 0;
    SetLastError(sentinel);
    EXPECT_FALSE(UnmapViewOfFile(&not_a_view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    SetLastError(sentinel);
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    write_native(c_dir_ + "/f", "abc");
    HANDLE file = open_for_reading("C:\\f");
    // A file handle is no mapping handle.
    SetLastError(sentinel);
    EXPECT_EQ(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(UnmapViewOfFile(view));
    SetLastError(sentinel);
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    CloseHandle(mapping);
    CloseHandle(file);
}

TEST_F(MappingTest, FreshViewOfAJustCopiedFileIsReadFromTheDrive)
{
    const size_t length = 2 * 1024 * 1024;
    write_native(c_dir_ + "/SRC.0", std::string(length, 'q'));
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\1.0", FALSE));
    EXPECT_EQ(resident_pages_of_fresh_view("D:\\1.0", length), 0u);
    EXPECT_EQ(resident_pages_of_fresh_view("C:\\SRC.0", length), 0u);
}

TEST_F(MappingTest, CachedReadsSettingKeepsTheCopyInMemory)
{
    setenv("DURANDEX_CACHED_READS", "1", 1);
    const size_t length = 2 * 1024 * 1024;
    write_native(c_dir_ + "/SRC.0", std::string(length, 'q'));
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\1.0", FALSE));
    EXPECT_GT(resident_pages_of_fresh_view("D:\\1.0", length), 0u);
}

}  // namespace
