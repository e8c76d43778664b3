#include <set>

#include "files_test_support.h"

namespace {

using FilesTest = DriveTest;

// Each open starts from the content given (nullptr: no file) and tells
// whether the file existed when its disposition says it would. A read-only
// file refuses writing and deletion, even for root.
TEST_F(FilesTest, DispositionsTellWhetherTheFileExistedAndReadOnlyFilesRefuseWriting)
{
    struct Open { const char* content; DWORD disposition, error, size; };
    for (const Open& o : {Open{nullptr, CREATE_NEW, sentinel, 0}, Open{nullptr, OPEN_ALWAYS, ERROR_SUCCESS, 0},
                          Open{"content", OPEN_ALWAYS, ERROR_ALREADY_EXISTS, 7},
                          Open{"content", CREATE_ALWAYS, ERROR_ALREADY_EXISTS, 0},
                          Open{"12345", TRUNCATE_EXISTING, sentinel, 0}}) {
        SCOPED_TRACE(o.disposition);
        o.content != nullptr ? write_native(c_dir_ + "/a", o.content) : remove_tree(c_dir_ + "/a");
        SetLastError(sentinel);
        HANDLE file = open_file("C:\\a", GENERIC_READ | GENERIC_WRITE, o.disposition);
        EXPECT_EQ(GetLastError(), o.error);
        EXPECT_EQ(GetFileSize(file, nullptr), o.size);
        EXPECT_TRUE(CloseHandle(file));
    }
    write_native(root_ + "/outside", "12345");
    write_native(c_dir_ + "/ro", "keep");
    EXPECT_QUIET_SUCCESS(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA("C:\\ro"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    struct Refusal { const char* path; DWORD access, disposition, code; };
    for (const Refusal& r : {Refusal{"C:\\a", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
                             Refusal{"C:\\absent", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
                             Refusal{"C:\\absent", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND},
                             Refusal{"C:\\no-dir\\absent", GENERIC_READ, OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
                             Refusal{"Q:\\x", GENERIC_WRITE, OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
                             Refusal{"C:\\..\\outside", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_PATH_NOT_FOUND},
                             Refusal{"C:\\a", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER},
                             Refusal{"C:\\a", GENERIC_READ, 0, ERROR_INVALID_PARAMETER},
                             Refusal{"C:\\ro", GENERIC_WRITE, OPEN_EXISTING, ERROR_ACCESS_DENIED},
                             Refusal{"C:\\ro", GENERIC_WRITE, OPEN_ALWAYS, ERROR_ACCESS_DENIED},
                             Refusal{"C:\\ro", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
                             Refusal{"C:\\ro", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_ACCESS_DENIED}}) {
        SCOPED_TRACE(r.path);
        EXPECT_FAILS(open_file(r.path, r.access, r.disposition), INVALID_HANDLE_VALUE, r.code);
    }
    EXPECT_FAILS(DeleteFileA("C:\\sub\\..\\..\\outside"), FALSE, ERROR_PATH_NOT_FOUND);
    EXPECT_FAILS(DeleteFileA("C:\\ro"), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(read_text_file(root_ + "/outside") + read_text_file(c_dir_ + "/ro"), "12345keep");
    ASSERT_TRUE(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_NORMAL));
    EXPECT_QUIET_SUCCESS(DeleteFileA("C:\\ro"));
}

TEST_F(FilesTest, WrittenBytesReadBackAtThePointerAndHandlesRefuseWhatTheirAccessDoesNotAllow)
{
    HANDLE file = open_file("C:\\data", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    DWORD count = sentinel;
    EXPECT_QUIET_SUCCESS(WriteFile(file, "0123456789", 10, &count, nullptr));
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_BEGIN), 3u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, 4, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "3456");
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_END), 10u);
    ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &count, nullptr));
    EXPECT_EQ(count, 0u) << "at the end";
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    // A handle refuses what its access does not allow.
    HANDLE reader = open_file("C:\\data", GENERIC_READ, OPEN_EXISTING);
    HANDLE writer = open_file("C:\\data", GENERIC_WRITE, OPEN_EXISTING);
    EXPECT_FAILS(WriteFile(reader, "x", 1, &count, nullptr), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_EQ(count, 0u);
    EXPECT_FAILS(SetEndOfFile(reader), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(FlushFileBuffers(reader), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(ReadFile(writer, buffer, sizeof(buffer), &count, nullptr), FALSE, ERROR_ACCESS_DENIED);
    CloseHandle(reader);
    CloseHandle(writer);
    EXPECT_EQ(read_text_file(c_dir_ + "/data"), "0123");
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
    const std::string block(256 * 1024, 'x');
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
    for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
        EXPECT_FAILS(open_file("C:\\durandex", access, OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    }
    write_native(c_dir_ + "/durandex/file", "x");
    EXPECT_FAILS(RemoveDirectoryA("C:\\durandex"), FALSE, ERROR_DIR_NOT_EMPTY);
    EXPECT_FAILS(RemoveDirectoryA("C:\\durandex\\file"), FALSE, ERROR_DIRECTORY);
    EXPECT_FAILS(DeleteFileA("C:\\durandex"), FALSE, ERROR_ACCESS_DENIED);
    ASSERT_TRUE(DeleteFileA("C:\\durandex\\file"));
    EXPECT_QUIET_SUCCESS(RemoveDirectoryA("C:\\durandex"));
    EXPECT_FALSE(native_exists(c_dir_ + "/durandex"));
    EXPECT_FAILS(RemoveDirectoryA("C:\\"), FALSE, ERROR_ACCESS_DENIED);  // the drive itself stays
}

// Dot entries appear below the root only; wildcards ignore case; a search
// handle is for the search calls only.
TEST_F(FilesTest, SearchesListWhatTheirPatternSelectsWithAttributesAndSizes)
{
    ASSERT_EQ(mkdir((c_dir_ + "/task.dir").c_str(), 0777), 0);
    for (const char* name : {"task.dir/1.0", "LOG1.23", "tim123.one", "tim123.two"}) {
        write_native(c_dir_ + "/" + name, std::string(1234, 'z'));
    }
    const std::pair<const char*, std::set<std::string>> searches[] = {
        {"C:\\task.dir\\*.*", {".", "..", "1.0"}}, {"C:\\log*", {"LOG1.23"}}, {"C:\\*.t*o", {"tim123.two"}},
        {"C:\\tim???.???", {"tim123.one", "tim123.two"}},
        {"C:\\*", {"task.dir", "LOG1.23", "tim123.one", "tim123.two"}}};
    WIN32_FIND_DATAA data;
    HANDLE search = INVALID_HANDLE_VALUE;
    for (const auto& [pattern, names] : searches) {
        std::set<std::string> found;  // every name the search yields, with the handle closed again
        search = FindFirstFileA(pattern, &data);
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &data)) {
            found.insert(data.cFileName);
        }
        EXPECT_TRUE(GetLastError() == ERROR_NO_MORE_FILES && FindClose(search)) << pattern;
        EXPECT_EQ(found, names) << pattern;
    }
    ASSERT_TRUE(SetFileAttributesA("C:\\LOG1.23", FILE_ATTRIBUTE_READONLY));
    EXPECT_QUIET_SUCCESS((search = FindFirstFileA("C:\\log1.23", &data)) != INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(data.nFileSizeLow + data.nFileSizeHigh, 1234u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    EXPECT_FAILS(CloseHandle(search), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_TRUE(FindClose(search));
    EXPECT_FAILS(FindNextFileA(search, &data), FALSE, ERROR_INVALID_HANDLE);
    EXPECT_FAILS(FindFirstFileA("C:\\*.none", &data), INVALID_HANDLE_VALUE, ERROR_FILE_NOT_FOUND);
    for (const char* pattern : {"C:\\absent\\*", "Q:\\*", "C:\\..\\*"}) {
        EXPECT_FAILS(FindFirstFileA(pattern, &data), INVALID_HANDLE_VALUE, ERROR_PATH_NOT_FOUND);
    }
}

}  // namespace
