#include <gtest/gtest.h>

#include <set>
#include <string>
#include <sys/stat.h>

#include "files_test_support.h"

namespace {

using files_test::sentinel;
using files_test::write_native;

class FindTest : public files_test::DriveTest {
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
    EXPECT_EQ(found_names("C:\\task.dir\\*"), (std::set<std::string>{".", "..", "1.0", "1.1", "sub"}));
    EXPECT_EQ(found_names("C:\\task.dir\\*.*"), (std::set<std::string>{".", "..", "1.0", "1.1", "sub"}));
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

TEST_F(FindTest, NothingFoundAndMissingDirectoriesAreTold)
{
    WIN32_FIND_DATAA data;
    SetLastError(sentinel);
    EXPECT_EQ(FindFirstFileA("C:\\*.none", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(FindFirstFileA("C:\\absent\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(FindFirstFileA("Q:\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    SetLastError(sentinel);
    EXPECT_EQ(FindFirstFileA("C:\\..\\*", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FindTest, SearchHandlesAreClosedByFindCloseOnly)
{
    write_native(c_dir_ + "/one", "1");
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\*", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    SetLastError(sentinel);
    EXPECT_FALSE(CloseHandle(search));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(FindClose(search));
    SetLastError(sentinel);
    EXPECT_FALSE(FindNextFileA(search, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
