#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "files_test_support.h"
#include "platform/errors.h"

namespace {

using namespace files_test;

class FilesTest : public DriveTest {
protected:
    mode_t native_mode(const std::string& path)
    {
        struct stat status {};
        EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
        return status.st_mode & 07777;
    }
};

TEST_F(FilesTest, DispositionsTellWhetherTheFileExistedAndNeedItWhenTheySay)
{
    const auto opens = [&](const char* path, DWORD disposition, DWORD error, DWORD size) {
        SetLastError(sentinel);
        HANDLE file = open_file(path, GENERIC_READ | GENERIC_WRITE, disposition);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << ' ' << disposition;
        EXPECT_EQ(GetLastError(), error) << path << ' ' << disposition;
        EXPECT_EQ(GetFileSize(file, nullptr), size) << path << ' ' << disposition;
        CloseHandle(file);
    };
    opens("C:\\new.txt", CREATE_NEW, sentinel, 0);
    EXPECT_TRUE(native_exists(c_dir_ + "/new.txt"));
    EXPECT_FAILS(open_file("C:\\new.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE, ERROR_FILE_EXISTS);
    opens("C:\\a.txt", OPEN_ALWAYS, ERROR_SUCCESS, 0);
    write_native(c_dir_ + "/a.txt", "content");
    opens("C:\\a.txt", OPEN_ALWAYS, ERROR_ALREADY_EXISTS, 7);
    opens("C:\\a.txt", CREATE_ALWAYS, ERROR_ALREADY_EXISTS, 0);
    write_native(c_dir_ + "/a.txt", "12345");
    opens("C:\\a.txt", TRUNCATE_EXISTING, sentinel, 0);
    EXPECT_FAILS(open_file("C:\\absent", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(open_file("C:\\no-dir\\absent", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                 ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(open_file("C:\\absent", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE,
                 ERROR_FILE_NOT_FOUND);
    write_native(c_dir_ + "/t", "12345");
    EXPECT_FAILS(open_file("C:\\t", GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(open_file("C:\\t", GENERIC_READ, 0), INVALID_HANDLE_VALUE, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(read_native(c_dir_ + "/t"), "12345");
}

TEST_F(FilesTest, UnmappedLettersAndDotDotGivePathNotFound)
{
    EXPECT_FAILS(open_file("Q:\\x", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS), INVALID_HANDLE_VALUE,
                 ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(CreateDirectoryA("Q:\\dir", nullptr), FALSE, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(GetFileAttributesA("Q:\\"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(DeleteFileA("Q:\\x"), FALSE, ERROR_PATH_NOT_FOUND);
    write_native(root_ + "/outside", "secret");
    EXPECT_FAILS(open_file("C:\\..\\outside", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE,
                 ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(DeleteFileA("C:\\sub\\..\\..\\outside"), FALSE, ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(native_exists(root_ + "/outside"));
}

TEST_F(FilesTest, ReadOnlyFileRefusesWritingAndDeletionEvenForRoot)
{
    write_native(c_dir_ + "/ro", "keep");
    EXPECT_QUIET_SUCCESS(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(native_mode(c_dir_ + "/ro") & 0222, 0u);
    EXPECT_EQ(GetFileAttributesA("C:\\ro"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
        SCOPED_TRACE(disposition);
        EXPECT_FAILS(open_file("C:\\ro", GENERIC_WRITE, disposition), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    }
    EXPECT_FAILS(DeleteFileA("C:\\ro"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(read_native(c_dir_ + "/ro"), "keep");
    HANDLE reader = open_file("C:\\ro", GENERIC_READ, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    ASSERT_TRUE(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_NORMAL));
    EXPECT_NE(native_mode(c_dir_ + "/ro") & S_IWUSR, 0u);
    EXPECT_EQ(GetFileAttributesA("C:\\ro"), static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_QUIET_SUCCESS(DeleteFileA("C:\\ro"));
    EXPECT_FALSE(native_exists(c_dir_ + "/ro"));

    // A file created read-only still takes its first writes.
    HANDLE file = open_file("C:\\fresh-ro", GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesA("C:\\fresh-ro"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(read_native(c_dir_ + "/fresh-ro"), "abc");
}

TEST_F(FilesTest, WrittenBytesReadBackAndSizeCountsThem)
{
    HANDLE file = open_file("C:\\data", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD count = sentinel;
    EXPECT_QUIET_SUCCESS(WriteFile(file, "0123456789", 10, &count, nullptr));
    EXPECT_EQ(count, 10u);
    EXPECT_TRUE(FlushFileBuffers(file));
    DWORD high = sentinel;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_BEGIN), 3u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, 4, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "3456");
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
    EXPECT_EQ(SetFilePointer(file, 16, &high, FILE_BEGIN), 16u);
    EXPECT_EQ(high, 1);
    ASSERT_TRUE(SetEndOfFile(file));
    DWORD size_high = 0;
    EXPECT_EQ(GetFileSize(file, &size_high), 16u);
    EXPECT_EQ(size_high, 1u);
    // Beyond 4 GiB without a high part the position could not be told.
    EXPECT_FAILS(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER);
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 100, &high, FILE_BEGIN), 100u);
    EXPECT_FAILS(SetFilePointer(file, -101, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 100u);

    // A position whose low part equals the failure value clears the last error.
    EXPECT_FAILS(SetFilePointer(file, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER, ERROR_SUCCESS);
    EXPECT_EQ(high, 0);
    CloseHandle(file);
}

TEST_F(FilesTest, HandlesRefuseWhatTheirAccessDoesNotAllow)
{
    write_native(c_dir_ + "/r", "abc");
    HANDLE reader = open_file("C:\\r", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD count = sentinel;
    EXPECT_FAILS(WriteFile(reader, "x", 1, &count, nullptr), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(count, 0u);
    EXPECT_FAILS(SetEndOfFile(reader), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(FlushFileBuffers(reader), FALSE, ERROR_ACCESS_DENIED);
    CloseHandle(reader);
    EXPECT_EQ(read_native(c_dir_ + "/r"), "abc");
    HANDLE writer = open_file("C:\\r", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    char buffer[4];
    EXPECT_FAILS(ReadFile(writer, buffer, sizeof(buffer), &count, nullptr), FALSE, ERROR_ACCESS_DENIED);
    CloseHandle(writer);
}

TEST_F(FilesTest, FullDiskGivesDiskFullWithThePartialCountAndNoPartialCopy)
{
    std::string small;
    MOUNT_TMPFS_OR_SKIP("small", "64k", small);
    configure("C=" + c_dir_ + ";E=" + small);
    write_native(c_dir_ + "/big", std::string(512 * 1024, 'b'));
    EXPECT_FAILS(CopyFileA("C:\\big", "E:\\big", FALSE), FALSE, ERROR_DISK_FULL);
    EXPECT_FALSE(native_exists(small + "/big"));
    HANDLE file = open_file("E:\\big", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::vector<char> block(256 * 1024, 'x');
    DWORD count = sentinel;
    EXPECT_FAILS(WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &count, nullptr), FALSE,
                 ERROR_DISK_FULL);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, block.size());
    CloseHandle(file);
}

TEST_F(FilesTest, DirectoriesAreCreatedOnceNeverOpenedAsFilesAndRemovedWhenEmpty)
{
    EXPECT_QUIET_SUCCESS(CreateDirectoryA("C:\\durandex", nullptr));
    EXPECT_FAILS(CreateDirectoryA("C:\\durandex", nullptr), FALSE, ERROR_ALREADY_EXISTS);
    EXPECT_FAILS(CreateDirectoryA("C:\\missing\\child", nullptr), FALSE, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA("C:\\durandex"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(GetFileAttributesA("C:\\"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FAILS(GetFileAttributesA("C:\\durandex\\absent"), INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND);
    EXPECT_FAILS(GetFileAttributesA("C:\\absent\\absent"), INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(SetFileAttributesA("C:\\absent", FILE_ATTRIBUTE_READONLY), FALSE, ERROR_FILE_NOT_FOUND);
    for (DWORD access : {static_cast<DWORD>(GENERIC_READ), static_cast<DWORD>(GENERIC_WRITE)}) {
        EXPECT_FAILS(open_file("C:\\durandex", access, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    }

    write_native(c_dir_ + "/durandex/file", "x");
    EXPECT_FAILS(RemoveDirectoryA("C:\\durandex"), FALSE, ERROR_DIR_NOT_EMPTY);
    EXPECT_FAILS(RemoveDirectoryA("C:\\durandex\\file"), FALSE, ERROR_DIRECTORY);
    EXPECT_FAILS(DeleteFileA("C:\\durandex"), FALSE, ERROR_ACCESS_DENIED);
    ASSERT_TRUE(DeleteFileA("C:\\durandex\\file"));
    EXPECT_QUIET_SUCCESS(RemoveDirectoryA("C:\\durandex"));
    EXPECT_FALSE(native_exists(c_dir_ + "/durandex"));
    // The drive itself cannot be removed.
    EXPECT_FAILS(RemoveDirectoryA("C:\\"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(native_exists(c_dir_));
}

class FindTest : public DriveTest {
protected:
    // Every name the search yields, with the handle closed again.
    std::set<std::string> found_names(const char* pattern)
    {
        std::set<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA(pattern, &data);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            names.insert(data.cFileName);
        } while (FindNextFileA(search, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        EXPECT_TRUE(FindClose(search));
        return names;
    }
};

TEST_F(FindTest, StarListsEverythingWithDotEntriesBelowTheRoot)
{
    ASSERT_EQ(mkdir((c_dir_ + "/task.dir").c_str(), 0777), 0);
    write_native(c_dir_ + "/task.dir/1.0", "a");
    write_native(c_dir_ + "/task.dir/1.1", "bb");
    ASSERT_EQ(mkdir((c_dir_ + "/task.dir/sub").c_str(), 0777), 0);
    for (const char* pattern : {"C:\\task.dir\\*", "C:\\task.dir\\*.*"}) {
        EXPECT_EQ(found_names(pattern), (std::set<std::string>{".", "..", "1.0", "1.1", "sub"})) << pattern;
    }
    EXPECT_EQ(found_names("C:\\*"), (std::set<std::string>{"task.dir"}));
}

TEST_F(FindTest, WildcardsSelectNamesWithoutRegardToCase)
{
    for (const char* name : {"log1.23", "LOG2.23", "tim123.one", "tim123.two", "SRC.0"}) {
        write_native(c_dir_ + "/" + name, "x");
    }
    EXPECT_EQ(found_names("C:\\log*"), (std::set<std::string>{"log1.23", "LOG2.23"}));
    EXPECT_EQ(found_names("C:\\tim123.???"), (std::set<std::string>{"tim123.one", "tim123.two"}));
    EXPECT_EQ(found_names("C:\\*.t*o"), (std::set<std::string>{"tim123.two"}));
    EXPECT_EQ(found_names("C:\\src.0"), (std::set<std::string>{"SRC.0"}));
}

TEST_F(FindTest, FindDataCarriesAttributesAndSizes)
{
    write_native(c_dir_ + "/file", std::string(1234, 'z'));
    ASSERT_TRUE(SetFileAttributesA("C:\\file", FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(mkdir((c_dir_ + "/dir").c_str(), 0777), 0);
    WIN32_FIND_DATAA data;
    SetLastError(sentinel);
    HANDLE search = FindFirstFileA("C:\\file", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), sentinel);
    EXPECT_STREQ(data.cFileName, "file");
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(data.nFileSizeLow, 1234u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    FindClose(search);
    search = FindFirstFileA("C:\\dir", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    FindClose(search);
}

TEST_F(FindTest, FailedSearchesAndForeignCallsOnSearchHandlesAreTold)
{
    WIN32_FIND_DATAA data;
    EXPECT_FAILS(FindFirstFileA("C:\\*.none", &data), INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
    for (const char* pattern : {"C:\\absent\\*", "Q:\\*", "C:\\..\\*"}) {
        SCOPED_TRACE(pattern);
        EXPECT_FAILS(FindFirstFileA(pattern, &data), INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
    }
    write_native(c_dir_ + "/one", "1");
    HANDLE search = FindFirstFileA("C:\\*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_FAILS(CloseHandle(search), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_TRUE(FindClose(search));
    EXPECT_FAILS(FindNextFileA(search, &data), FALSE, ERROR_INVALID_HANDLE);
}

TEST(ErrorsTest, ErrnoValuesMapToTheirWin32Codes)
{
    const std::pair<int, DWORD> table[] = {
        {ENOENT, 2},   {ENOTDIR, 3},       {EACCES, 5},    {EPERM, 5},     {EISDIR, 5},
        {EBADF, 6},    {ENOMEM, 8},        {EROFS, 19},    {ENXIO, 21},    {ENODEV, 21},
        {EIO, 23},     {EBUSY, 32},        {ETXTBSY, 32},  {EINVAL, 87},   {ENOSPC, 112},
        {EEXIST, 183}, {ENAMETOOLONG, 206}, {ENOMEDIUM, 1112}, {ESTALE, 1006}, {EUCLEAN, 1392},
        {EDQUOT, 1816}, {ENOTEMPTY, 145},   {EXDEV, 31},    {EPROTO, 31}};  // unlisted: general failure
    for (const auto& [error_number, code] : table) {
        EXPECT_EQ(errno_to_win32(error_number), code) << "errno " << error_number;
    }
}

TEST(ErrorsTest, MissingFileIsTwoButMissingDirectoryOnTheWayIsThree)
{
    const std::string root = make_temp_directory();
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(errno_to_win32_for_path(ENOENT, root + "/absent"), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(errno_to_win32_for_path(ENOENT, root + "/absent/file"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(errno_to_win32_for_path(ENOENT, root + "/missing/deeper/file"),
              static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    // Other errors keep their own code whatever the path.
    EXPECT_EQ(errno_to_win32_for_path(EACCES, root + "/absent/file"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    write_native(root + "/plain", "x");
    EXPECT_EQ(errno_to_win32_for_path(ENOENT, root + "/plain/file"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    remove_tree(root);
}

TEST(ErrorsTest, LastErrorBelongsToEachThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen_by_other_thread = sentinel;
    std::thread other([&] {
        seen_by_other_thread = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    });
    other.join();
    EXPECT_EQ(seen_by_other_thread, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
