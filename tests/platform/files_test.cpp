#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

#include "files_test_support.h"

namespace {

using files_test::native_exists;
using files_test::read_native;
using files_test::sentinel;
using files_test::write_native;

class FilesTest : public files_test::DriveTest {
protected:
    HANDLE open_file(const char* path, DWORD access, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL)
    {
        return CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
    }

    mode_t native_mode(const std::string& path)
    {
        struct stat status {};
        EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
        return status.st_mode & 07777;
    }
};

// --- CreateFileA dispositions ---

TEST_F(FilesTest, CreateNewMakesAFileAndRefusesAnExistingOneWith80)
{
    SetLastError(sentinel);
    HANDLE file = open_file("C:\\new.txt", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(native_exists(c_dir_ + "/new.txt"));

    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\new.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(FilesTest, AlwaysDispositionsTellWhetherTheFileExistedBefore)
{
    SetLastError(sentinel);
    HANDLE file = open_file("C:\\a.txt", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(file);

    write_native(c_dir_ + "/a.txt", "content");
    SetLastError(sentinel);
    file = open_file("C:\\a.txt", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 7u);
    CloseHandle(file);

    SetLastError(sentinel);
    file = open_file("C:\\a.txt", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
}

TEST_F(FilesTest, OpenExistingAndTruncateExistingNeedTheFile)
{
    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\absent", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\no-dir\\absent", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\absent", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    write_native(c_dir_ + "/t", "12345");
    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\t", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(read_native(c_dir_ + "/t"), "12345");
    HANDLE file = open_file("C:\\t", GENERIC_WRITE, TRUNCATE_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(read_native(c_dir_ + "/t"), "");

    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\t", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(FilesTest, DirectoriesCannotBeOpenedAsFiles)
{
    ASSERT_EQ(mkdir((c_dir_ + "/sub").c_str(), 0777), 0);
    for (DWORD access : {static_cast<DWORD>(GENERIC_READ), static_cast<DWORD>(GENERIC_WRITE)}) {
        SetLastError(sentinel);
        EXPECT_EQ(open_file("C:\\sub", access, OPEN_EXISTING), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

TEST_F(FilesTest, FileCallsOnAnUnmappedLetterFailWithPathNotFound)
{
    SetLastError(sentinel);
    EXPECT_EQ(open_file("Q:\\x", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_FALSE(CreateDirectoryA("Q:\\dir", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(GetFileAttributesA("Q:\\"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_FALSE(DeleteFileA("Q:\\x"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FilesTest, DotDotCannotReachAFileBesideTheDrive)
{
    write_native(root_ + "/outside", "secret");
    SetLastError(sentinel);
    EXPECT_EQ(open_file("C:\\..\\outside", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_FALSE(DeleteFileA("C:\\sub\\..\\..\\outside"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_TRUE(native_exists(root_ + "/outside"));
}

// --- the read-only attribute ---

TEST_F(FilesTest, ReadOnlyFileRefusesWritingAndDeletionEvenForRoot)
{
    write_native(c_dir_ + "/ro", "keep");
    SetLastError(sentinel);
    ASSERT_TRUE(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_EQ(native_mode(c_dir_ + "/ro") & 0222, 0u);
    EXPECT_EQ(GetFileAttributesA("C:\\ro"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));

    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        SetLastError(sentinel);
        EXPECT_EQ(open_file("C:\\ro", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE) << disposition;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << disposition;
    }
    SetLastError(sentinel);
    EXPECT_FALSE(DeleteFileA("C:\\ro"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read_native(c_dir_ + "/ro"), "keep");

    HANDLE reader = open_file("C:\\ro", GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);

    ASSERT_TRUE(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(native_mode(c_dir_ + "/ro") & S_IWUSR, 0u);
    EXPECT_EQ(GetFileAttributesA("C:\\ro"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    SetLastError(sentinel);
    EXPECT_TRUE(DeleteFileA("C:\\ro"));
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_FALSE(native_exists(c_dir_ + "/ro"));
}

TEST_F(FilesTest, FileCreatedReadOnlyStillTakesItsFirstWrites)
{
    HANDLE file = open_file("C:\\fresh-ro", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesA("C:\\fresh-ro"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(read_native(c_dir_ + "/fresh-ro"), "abc");
}

TEST_F(FilesTest, AttributesOfDirectoriesAndMissingNames)
{
    ASSERT_EQ(mkdir((c_dir_ + "/sub").c_str(), 0777), 0);
    EXPECT_EQ(GetFileAttributesA("C:\\sub"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    SetLastError(sentinel);
    EXPECT_EQ(GetFileAttributesA("C:\\sub\\absent"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(GetFileAttributesA("C:\\absent\\absent"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_FALSE(SetFileAttributesA("C:\\absent", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// --- reading, writing, positions ---

TEST_F(FilesTest, WrittenBytesReadBackAndSizeCountsThem)
{
    HANDLE file = open_file("C:\\data", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string text = "0123456789";
    DWORD count = sentinel;
    SetLastError(sentinel);
    ASSERT_TRUE(WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &count, nullptr));
    EXPECT_EQ(count, text.size());
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_TRUE(FlushFileBuffers(file));

    DWORD high = sentinel;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);

    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_BEGIN), 3u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, 4, &count, nullptr));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(SetFilePointer(file, -2, nullptr, FILE_CURRENT), 5u);
    EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_END), 9u);
    ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(count, 1u);
    ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(count, 0u);

    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(GetFileSize(file, nullptr), 4u);
    CloseHandle(file);
    EXPECT_EQ(read_native(c_dir_ + "/data"), "0123");
}

TEST_F(FilesTest, FilePointerUsesTheHighPartAndRefusesNegativePositions)
{
    HANDLE file = open_file("C:\\sparse", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LONG high = 1;
    SetLastError(sentinel);
    EXPECT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(SetEndOfFile(file));
    DWORD size_high = 0;
    EXPECT_EQ(GetFileSize(file, &size_high), 16u);
    EXPECT_EQ(size_high, 1u);

    // Beyond 4 GiB without a high part the position could not be told.
    SetLastError(sentinel);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    high = 0;
    EXPECT_EQ(SetFilePointer(file, 100, &high, FILE_BEGIN), 100u);
    SetLastError(sentinel);
    EXPECT_EQ(SetFilePointer(file, -101, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 100u);

    // A position whose low part equals the failure value clears the last error.
    high = 0;
    SetLastError(sentinel);
    EXPECT_EQ(SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(file);
}

TEST_F(FilesTest, HandlesRefuseWhatTheirAccessDoesNotAllow)
{
    write_native(c_dir_ + "/r", "abc");
    HANDLE reader = open_file("C:\\r", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD count = sentinel;
    SetLastError(sentinel);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(count, 0u);
    SetLastError(sentinel);
    EXPECT_FALSE(SetEndOfFile(reader));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(sentinel);
    EXPECT_FALSE(FlushFileBuffers(reader));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(reader);
    EXPECT_EQ(read_native(c_dir_ + "/r"), "abc");

    HANDLE writer = open_file("C:\\r", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    char buffer[4];
    SetLastError(sentinel);
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(writer);
}

TEST_F(FilesTest, FullDiskGivesDiskFullWithThePartialCount)
{
    std::string small;
    MOUNT_TMPFS_OR_SKIP("small", "64k", small);
    configure("C=" + c_dir_ + ";E=" + small);
    HANDLE file = open_file("E:\\big", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::vector<char> block(256 * 1024, 'x');
    DWORD count = sentinel;
    SetLastError(sentinel);
    EXPECT_FALSE(WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, block.size());
    CloseHandle(file);
}

// --- directories ---

TEST_F(FilesTest, DirectoriesAreCreatedOnceAndRemovedWhenEmpty)
{
    SetLastError(sentinel);
    ASSERT_TRUE(CreateDirectoryA("C:\\durandex", nullptr));
    EXPECT_EQ(GetLastError(), sentinel);
    SetLastError(sentinel);
    EXPECT_FALSE(CreateDirectoryA("C:\\durandex", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(sentinel);
    EXPECT_FALSE(CreateDirectoryA("C:\\missing\\child", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    write_native(c_dir_ + "/durandex/file", "x");
    SetLastError(sentinel);
    EXPECT_FALSE(RemoveDirectoryA("C:\\durandex"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    SetLastError(sentinel);
    EXPECT_FALSE(RemoveDirectoryA("C:\\durandex\\file"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
    SetLastError(sentinel);
    EXPECT_FALSE(DeleteFileA("C:\\durandex"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_TRUE(DeleteFileA("C:\\durandex\\file"));
    SetLastError(sentinel);
    EXPECT_TRUE(RemoveDirectoryA("C:\\durandex"));
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_FALSE(native_exists(c_dir_ + "/durandex"));
}

TEST_F(FilesTest, TheDriveItselfCannotBeRemoved)
{
    SetLastError(sentinel);
    EXPECT_FALSE(RemoveDirectoryA("C:\\"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(native_exists(c_dir_));
}

}  // namespace
