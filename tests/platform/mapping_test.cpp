#include <algorithm>
#include <fstream>

#include "files_test_support.h"
#include "platform/settings.h"

namespace {

class MappingTest : public DriveTest {
protected:
    // Pages of a fresh whole-file view that are in memory before anything reads them.
    size_t resident_pages_of_fresh_view(const char* path, size_t length)
    {
        HANDLE file = nullptr, mapping = nullptr;
        const char* view = map_whole(path, &file, &mapping);
        const size_t pages = resident_pages(view, length);
        UnmapViewOfFile(view);
        CloseHandle(mapping);
        CloseHandle(file);
        return pages;
    }
};

// A view outlives its handles; empty files, write access and views beyond the file are refused.
TEST_F(MappingTest, ViewShowsTheWholeFileOutlivesItsHandlesAndIsUnmappedOnce)
{
    write_native(c_dir_ + "/SRC.1", "line one\nline two\n");
    write_native(c_dir_ + "/empty", "");
    HANDLE empty = open_file("C:\\empty", GENERIC_READ, OPEN_EXISTING);
    HANDLE writer = open_file("C:\\SRC.1", GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_FAILS(CreateFileMappingA(empty, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr, ERROR_FILE_INVALID);
    EXPECT_FAILS(CreateFileMappingA(writer, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr,
                 ERROR_INVALID_HANDLE);
    CloseHandle(empty);
    CloseHandle(writer);
    HANDLE file = nullptr, mapping = nullptr;
    const char* view = nullptr;
    EXPECT_QUIET_SUCCESS((view = map_whole("C:\\SRC.1", &file, &mapping)) != nullptr);
    EXPECT_FAILS(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 19, nullptr), nullptr, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FAILS(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0), nullptr, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 19), nullptr, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(MapViewOfFile(file, FILE_MAP_READ, 0, 0, 0), nullptr, ERROR_INVALID_HANDLE);  // a file is no mapping
    EXPECT_TRUE(CloseHandle(mapping) && CloseHandle(file));
    EXPECT_EQ(std::string(view, 18), "line one\nline two\n");
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FAILS(UnmapViewOfFile(view), FALSE, ERROR_INVALID_ADDRESS);
    EXPECT_FAILS(UnmapViewOfFile(&file), FALSE, ERROR_INVALID_ADDRESS);
}

// A verifying read must meet the drive, not pages the copy left in memory.
TEST_F(MappingTest, FreshViewOfAJustCopiedFileIsReadFromTheDriveUnlessReadsAreCached)
{
    const size_t length = 2 * 1024 * 1024;
    write_native(c_dir_ + "/SRC.0", std::string(length, 'q'));
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\1.0", FALSE));
    EXPECT_EQ(resident_pages_of_fresh_view("D:\\1.0", length), 0u);
    EXPECT_EQ(resident_pages_of_fresh_view("C:\\SRC.0", length), 0u);
    // A view is read ahead in huge pages where the filesystem has them; all
    // of them go when the file is opened to verify it again.
    HANDLE file = nullptr, mapping = nullptr;
    const char* view = map_whole("D:\\1.0", &file, &mapping);
    EXPECT_EQ(std::count(view, view + length, 'q'), static_cast<long>(length));
    EXPECT_TRUE(UnmapViewOfFile(view) && CloseHandle(mapping) && CloseHandle(file));
    EXPECT_EQ(resident_pages_of_fresh_view("D:\\1.0", length), 0u);
    setting_override(Setting::CachedReads, "1");
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\2.0", FALSE));
    EXPECT_GT(resident_pages_of_fresh_view("D:\\2.0", length), 0u);
}

// The kernel's account of the hints a view carries: its VmFlags line.
std::string vm_flags_of(const void* view)
{
    char start[32];
    snprintf(start, sizeof start, "%lx-", reinterpret_cast<unsigned long>(view));
    std::ifstream smaps("/proc/self/smaps");
    bool in_view = false;
    for (std::string line; std::getline(smaps, line);) {
        if (line.rfind("VmFlags:", 0) == 0 && in_view) {
            return line + " ";
        }
        in_view = line.rfind(start, 0) == 0 || (in_view && line.find(':') != std::string::npos);
    }
    return "";
}

// A view is hinted as its file was opened: read front to back and ahead in
// huge pages, or for random access a page at a time.
TEST_F(MappingTest, ViewsCarryTheReadingHintsOfTheirFile)
{
    write_native(c_dir_ + "/SRC.0", std::string(1 << 20, 'q'));
    const bool huge_pages = std::filesystem::exists("/sys/kernel/mm/transparent_hugepage");
    for (const DWORD flags : {DWORD{FILE_ATTRIBUTE_NORMAL}, DWORD{FILE_FLAG_RANDOM_ACCESS}}) {
        HANDLE file = CreateFileA("C:\\SRC.0", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
        HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        const std::string vm_flags = vm_flags_of(view);
        const bool random = flags == FILE_FLAG_RANDOM_ACCESS;
        EXPECT_NE(vm_flags.find(random ? " rr " : " sr "), std::string::npos) << vm_flags;
        EXPECT_EQ(vm_flags.find(" hg ") != std::string::npos, huge_pages && !random) << vm_flags;
        EXPECT_TRUE(UnmapViewOfFile(view) && CloseHandle(mapping) && CloseHandle(file));
    }
}

}  // namespace
