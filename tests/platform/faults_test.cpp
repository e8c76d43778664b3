#include <gtest/gtest.h>

#include <string>

#include "files_test_support.h"

namespace {

using files_test::native_exists;
using files_test::sentinel;
using files_test::write_native;

class FaultsTest : public files_test::DriveTest {};

TEST_F(FaultsTest, ArmedCallsFailWithTheCodeThenRunForReal)
{
    write_native(c_dir_ + "/src", "bytes");
    fault_arm("CopyFileA", 2, ERROR_CRC);
    for (int i = 0; i < 2; ++i) {
        SetLastError(sentinel);
        EXPECT_FALSE(CopyFileA("C:\\src", "D:\\dst", FALSE));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CRC));
        EXPECT_FALSE(native_exists(d_dir_ + "/dst"));
    }
    SetLastError(sentinel);
    EXPECT_TRUE(CopyFileA("C:\\src", "D:\\dst", FALSE));
    EXPECT_EQ(GetLastError(), sentinel);
}

TEST_F(FaultsTest, ArmingOneOperationLeavesOthersAlone)
{
    write_native(c_dir_ + "/f", "abc");
    fault_arm("MapViewOfFile", 1, ERROR_NOT_ENOUGH_MEMORY);
    HANDLE file = CreateFileA("C:\\f", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    SetLastError(sentinel);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    EXPECT_NE(view, nullptr);
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    CloseHandle(file);
}

TEST_F(FaultsTest, EveryFileOperationIsArmableByItsName)
{
    write_native(c_dir_ + "/f", "abc");
    struct Case {
        const char* name;
        bool (*fails)();
    };
    const Case cases[] = {
        {"CreateFileA",
         [] {
             return CreateFileA("C:\\f", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) == INVALID_HANDLE_VALUE;
         }},
        {"DeleteFileA", [] { return DeleteFileA("C:\\f") == FALSE; }},
        {"GetFileAttributesA", [] { return GetFileAttributesA("C:\\f") == INVALID_FILE_ATTRIBUTES; }},
        {"SetFileAttributesA", [] { return SetFileAttributesA("C:\\f", FILE_ATTRIBUTE_NORMAL) == FALSE; }},
        {"CreateDirectoryA", [] { return CreateDirectoryA("C:\\new", nullptr) == FALSE; }},
        {"RemoveDirectoryA", [] { return RemoveDirectoryA("C:\\new") == FALSE; }},
        {"FindFirstFileA",
         [] {
             WIN32_FIND_DATAA data;
             return FindFirstFileA("C:\\*", &data) == INVALID_HANDLE_VALUE;
         }},
        {"GetDiskFreeSpaceA",
         [] {
             DWORD a, b, c, d;
             return GetDiskFreeSpaceA("C:\\", &a, &b, &c, &d) == FALSE;
         }},
        {"GetVolumeInformationA",
         [] { return GetVolumeInformationA("C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) == FALSE; }},
        {"GetDriveTypeA", [] { return GetDriveTypeA("C:\\") == DRIVE_UNKNOWN; }},
    };
    for (const Case& c : cases) {
        fault_arm(c.name, 1, ERROR_NOT_READY);
        SetLastError(sentinel);
        EXPECT_TRUE(c.fails()) << c.name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY)) << c.name;
    }
    // Used up: each runs for real now, and the file is still there.
    EXPECT_EQ(GetFileAttributesA("C:\\f"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(CreateDirectoryA("C:\\new", nullptr));
    EXPECT_TRUE(RemoveDirectoryA("C:\\new"));
}

TEST_F(FaultsTest, ResetDisarmsFailuresAndCorruption)
{
    write_native(c_dir_ + "/src", "abcdef");
    fault_arm("CopyFileA", 5, ERROR_CRC);
    fault_corrupt_next_copy(0, 0xff);
    fault_reset();
    EXPECT_TRUE(CopyFileA("C:\\src", "D:\\dst", FALSE));
    EXPECT_EQ(files_test::read_native(d_dir_ + "/dst"), "abcdef");
}

}  // namespace
