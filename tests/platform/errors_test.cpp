#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "files_test_support.h"
#include "platform/errors.h"

namespace {

using files_test::make_temp_directory;
using files_test::remove_tree;

TEST(ErrorsTest, ErrnoValuesMapToTheirWin32Codes)
{
    const std::pair<int, DWORD> table[] = {
        {ENOENT, 2},   {ENOTDIR, 3},       {EACCES, 5},    {EPERM, 5},     {EISDIR, 5},
        {EBADF, 6},    {ENOMEM, 8},        {EROFS, 19},    {ENXIO, 21},    {ENODEV, 21},
        {EIO, 23},     {EBUSY, 32},        {ETXTBSY, 32},  {EINVAL, 87},   {ENOSPC, 112},
        {EEXIST, 183}, {ENAMETOOLONG, 206}, {ENOMEDIUM, 1112}, {ESTALE, 1006}, {EUCLEAN, 1392},
        {EDQUOT, 1816}, {ENOTEMPTY, 145}};
    for (const auto& [error_number, code] : table) {
        EXPECT_EQ(errno_to_win32(error_number), code) << "errno " << error_number;
    }
}

TEST(ErrorsTest, UnlistedErrnoBecomesGeneralFailureNotSuccess)
{
    EXPECT_EQ(errno_to_win32(EXDEV), static_cast<DWORD>(ERROR_GEN_FAILURE));
    EXPECT_EQ(errno_to_win32(EPROTO), static_cast<DWORD>(ERROR_GEN_FAILURE));
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
    files_test::write_native(root + "/plain", "x");
    EXPECT_EQ(errno_to_win32_for_path(ENOENT, root + "/plain/file"), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    remove_tree(root);
}

TEST(ErrorsTest, FailHelpersSetTheLastErrorAndReturnFalse)
{
    SetLastError(files_test::sentinel);
    EXPECT_EQ(fail_with(ERROR_DISK_FULL), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(fail_with_errno(EROFS), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_PROTECT));
}

TEST(ErrorsTest, LastErrorBelongsToEachThread)
{
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seen_by_other_thread = files_test::sentinel;
    std::thread other([&] {
        seen_by_other_thread = GetLastError();
        SetLastError(ERROR_DISK_FULL);
    });
    other.join();
    EXPECT_EQ(seen_by_other_thread, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
