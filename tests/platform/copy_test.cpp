#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "files_test_support.h"

namespace {

using files_test::native_exists;
using files_test::read_native;
using files_test::sentinel;
using files_test::write_native;

class CopyTest : public files_test::DriveTest {};

std::string patterned_bytes(size_t length)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    }
    return bytes;
}

TEST_F(CopyTest, CopyHasEverySourceByteAcrossDrives)
{
    // Larger than the copy's buffer, and not a multiple of it.
    const std::string bytes = patterned_bytes(700 * 1024 + 37);
    write_native(c_dir_ + "/SRC.0", bytes);
    SetLastError(sentinel);
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "D:\\1.0", FALSE));
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_EQ(read_native(d_dir_ + "/1.0"), bytes);
    EXPECT_EQ(GetFileAttributesA("D:\\1.0"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
}

TEST_F(CopyTest, CopyIsItsOwnFileNotASharedOne)
{
    write_native(c_dir_ + "/src", "original");
    ASSERT_TRUE(CopyFileA("C:\\src", "C:\\dst", FALSE));
    struct stat source {};
    struct stat target {};
    ASSERT_EQ(stat((c_dir_ + "/src").c_str(), &source), 0);
    ASSERT_EQ(stat((c_dir_ + "/dst").c_str(), &target), 0);
    EXPECT_NE(source.st_ino, target.st_ino);
    write_native(c_dir_ + "/src", "changed!");
    EXPECT_EQ(read_native(c_dir_ + "/dst"), "original");
}

TEST_F(CopyTest, CopyTakesTheReadOnlyAttributeAndIsThenRefusedOverIt)
{
    write_native(c_dir_ + "/src", "first");
    ASSERT_TRUE(SetFileAttributesA("C:\\src", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CopyFileA("C:\\src", "D:\\copy", FALSE));
    EXPECT_EQ(GetFileAttributesA("D:\\copy"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(read_native(d_dir_ + "/copy"), "first");

    write_native(c_dir_ + "/other", "second");
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\other", "D:\\copy", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read_native(d_dir_ + "/copy"), "first");
}

TEST_F(CopyTest, ExistingTargetIsReplacedUnlessTheCallerForbidsIt)
{
    write_native(c_dir_ + "/src", "new");
    write_native(d_dir_ + "/dst", "old and longer");
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\src", "D:\\dst", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(read_native(d_dir_ + "/dst"), "old and longer");
    ASSERT_TRUE(CopyFileA("C:\\src", "D:\\dst", FALSE));
    EXPECT_EQ(read_native(d_dir_ + "/dst"), "new");
}

TEST_F(CopyTest, CopyOntoItselfIsRefusedAndKeepsTheFile)
{
    write_native(c_dir_ + "/self", "must survive");
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\self", "C:\\.\\self", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(read_native(c_dir_ + "/self"), "must survive");
}

TEST_F(CopyTest, MissingSourceOrTargetDirectory)
{
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\absent", "D:\\x", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    write_native(c_dir_ + "/src", "x");
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\src", "D:\\no-dir\\x", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\src", "Q:\\x", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(CopyTest, FullDiskGivesDiskFullAndLeavesNoPartialCopy)
{
    std::string small;
    MOUNT_TMPFS_OR_SKIP("small", "64k", small);
    configure("C=" + c_dir_ + ";E=" + small);
    write_native(c_dir_ + "/big", patterned_bytes(512 * 1024));
    SetLastError(sentinel);
    EXPECT_FALSE(CopyFileA("C:\\big", "E:\\big", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_FALSE(native_exists(small + "/big"));
}

TEST_F(CopyTest, CorruptionSeamFlipsOneByteOfTheNextCopyOnly)
{
    const std::string bytes = patterned_bytes(300 * 1024);
    write_native(c_dir_ + "/src", bytes);
    const DWORD offset = 280 * 1024 + 5;  // in the copy's second buffer
    fault_corrupt_next_copy(offset, 0x40);
    ASSERT_TRUE(CopyFileA("C:\\src", "D:\\bad", FALSE));
    std::string expected = bytes;
    expected[offset] = static_cast<char>(expected[offset] ^ 0x40);
    EXPECT_EQ(read_native(d_dir_ + "/bad"), expected);
    EXPECT_EQ(read_native(c_dir_ + "/src"), bytes);

    ASSERT_TRUE(CopyFileA("C:\\src", "D:\\good", FALSE));
    EXPECT_EQ(read_native(d_dir_ + "/good"), bytes);
}

// Workers copy and compare at once while the drive map is set again; run
// under ThreadSanitizer this shows the shared tables are guarded.
TEST_F(CopyTest, ConcurrentCopiesMapsAndReconfiguration)
{
    const std::string bytes = patterned_bytes(64 * 1024 + 3);
    write_native(c_dir_ + "/SRC.0", bytes);
    const std::string setting = "C=" + c_dir_ + ";D=" + d_dir_;
    std::atomic<int> mismatches{0};
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([&, worker] {
            const std::string target = "D:\\" + std::to_string(worker) + ".0";
            for (int round = 0; round < 20; ++round) {
                HANDLE file = INVALID_HANDLE_VALUE;
                HANDLE mapping = nullptr;
                const void* view = nullptr;
                if (CopyFileA("C:\\SRC.0", target.c_str(), FALSE) &&
                    (file = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                        nullptr)) != INVALID_HANDLE_VALUE &&
                    (mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) != nullptr &&
                    (view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) != nullptr &&
                    std::memcmp(view, bytes.data(), bytes.size()) == 0) {
                    UnmapViewOfFile(view);
                } else {
                    ++mismatches;
                    UnmapViewOfFile(view);
                }
                CloseHandle(mapping);
                CloseHandle(file);
                DeleteFileA(target.c_str());
            }
        });
    }
    for (int round = 0; round < 50; ++round) {
        std::string error;
        EXPECT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
