// Another user's links and directories on a shared drive (a mode-1777
// directory): nothing is written, truncated, re-moded or deleted through
// them, and what the layer makes is never open to others' writes.
#include "files_test_support.h"
#include "tests/other_user.h"

namespace {

class PlantedLinksTest : public DriveTest {
protected:
    void SetUp() override
    {
        if (geteuid() != 0) {
            GTEST_SKIP() << "needs root to plant files as another user";
        }
        DriveTest::SetUp();
        shared_ = root_ + "/shared";
        ASSERT_EQ(chmod(root_.c_str(), 0755) | mkdir(shared_.c_str(), 0) | chmod(shared_.c_str(), 01777), 0);
        for (const char* name : {"victim1", "victim2"}) {
            write_native(root_ + "/" + name, std::string("root's bytes of ") + name);
            ASSERT_EQ(chmod((root_ + "/" + name).c_str(), 0644), 0);
        }
        configure("C=" + shared_);
    }
    // The victims' bytes and modes, to compare before and after.
    std::string victims() const
    {
        std::string state;
        for (const char* name : {"victim1", "victim2"}) {
            struct stat status {};
            stat((root_ + "/" + name).c_str(), &status);
            state += read_text_file(root_ + "/" + name) + " mode " + std::to_string(status.st_mode & 07777) + "\n";
        }
        return state;
    }
    std::string shared_;
};

TEST_F(PlantedLinksTest, AnotherUsersDirectoriesAndLinksAreRefusedAndNoForeignByteChanges)
{
    const std::string v1 = root_ + "/victim1";
    const std::string v2 = root_ + "/victim2";
    ASSERT_TRUE(as_other_user([&] {
        return mkdir((shared_ + "/durandex").c_str(), 0777) == 0 && chmod((shared_ + "/durandex").c_str(), 0777) == 0 &&
               mkdir((shared_ + "/durandex/HOST").c_str(), 0755) == 0 &&
               symlink(v1.c_str(), (shared_ + "/durandex/HOST/SRC.0").c_str()) == 0 &&
               symlink(v2.c_str(), (shared_ + "/Durandex.Log").c_str()) == 0 &&
               symlink(root_.c_str(), (shared_ + "/elsewhere").c_str()) == 0;
    }));
    const std::string before = victims();
    const auto open_file_with = [&](const char* path, DWORD disposition) {
        return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    // Under a directory that another user made: refused, whatever the call.
    EXPECT_FAILS(open_file_with("C:\\durandex\\HOST\\SRC.0", OPEN_ALWAYS), INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(CreateDirectoryA("C:\\durandex\\HOST\\1-1.dir", nullptr), FALSE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(DeleteFileA("C:\\durandex\\HOST\\SRC.0"), FALSE, ERROR_ACCESS_DENIED);
    // A link as the last name: opened, truncated, copied onto or re-moded never.
    for (DWORD disposition : {OPEN_ALWAYS, CREATE_ALWAYS, OPEN_EXISTING, TRUNCATE_EXISTING}) {
        EXPECT_FAILS(open_file_with("C:\\Durandex.Log", disposition), INVALID_HANDLE_VALUE, ERROR_CANT_ACCESS_FILE);
    }
    EXPECT_FAILS(SetFileAttributesA("C:\\Durandex.Log", FILE_ATTRIBUTE_READONLY), FALSE, ERROR_CANT_ACCESS_FILE);
    write_native(shared_ + "/mine", "my bytes");
    EXPECT_FAILS(CopyFileA("C:\\mine", "C:\\Durandex.Log", FALSE), FALSE, ERROR_CANT_ACCESS_FILE);
    EXPECT_FAILS(CopyFileA("C:\\Durandex.Log", "C:\\copy", FALSE), FALSE, ERROR_CANT_ACCESS_FILE);
    // A link on the way is not followed either, and a listing shows links as themselves.
    EXPECT_FAILS(open_file_with("C:\\elsewhere\\victim1", OPEN_EXISTING), INVALID_HANDLE_VALUE, ERROR_CANT_ACCESS_FILE);
    EXPECT_EQ(GetFileAttributesA("C:\\Durandex.Log"), static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA("C:\\elsewhere", &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_EQ(found.nFileSizeLow, 0u) << "a link has no size of its own";
    FindClose(search);
    // Deleting a link removes the link only.
    EXPECT_QUIET_SUCCESS(DeleteFileA("C:\\Durandex.Log"));
    EXPECT_EQ(victims(), before);
}

TEST_F(PlantedLinksTest, ASecondHardLinkOrAnotherUsersFileIsNotWrittenAndNewDirectoriesAreClosedToOthers)
{
    ASSERT_EQ(link((root_ + "/victim1").c_str(), (shared_ + "/Durandex.Log").c_str()), 0);
    ASSERT_TRUE(as_other_user([&] {
        std::ofstream(shared_ + "/theirs") << "their bytes";
        return chmod((shared_ + "/theirs").c_str(), 0666) == 0;
    }));
    const std::string before = victims();
    for (const char* path : {"C:\\Durandex.Log", "C:\\theirs"}) {
        SCOPED_TRACE(path);
        EXPECT_FAILS(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                     INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
        EXPECT_FAILS(SetFileAttributesA(path, FILE_ATTRIBUTE_READONLY), FALSE, ERROR_ACCESS_DENIED);
        write_native(shared_ + "/mine", "my bytes");
        EXPECT_FAILS(CopyFileA("C:\\mine", path, FALSE), FALSE, ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ(victims(), before);
    EXPECT_EQ(read_text_file(shared_ + "/theirs"), "their bytes");
    // Reading someone else's file is no change to it.
    HANDLE theirs = CreateFileA("C:\\theirs", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(theirs, INVALID_HANDLE_VALUE);
    CloseHandle(theirs);

    const mode_t old_mask = umask(0);
    const BOOL made = CreateDirectoryA("C:\\durandex", nullptr);
    umask(old_mask);
    ASSERT_TRUE(made);
    struct stat status {};
    ASSERT_EQ(stat((shared_ + "/durandex").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0755u);
    // A directory of ours that others may write (left so by an older run) is refused too.
    ASSERT_EQ(chmod((shared_ + "/durandex").c_str(), 0777), 0);
    EXPECT_FAILS(CreateDirectoryA("C:\\durandex\\HOST", nullptr), FALSE, ERROR_ACCESS_DENIED);
}

// A FIFO planted where a file is expected is refused without blocking.
TEST_F(PlantedLinksTest, AFifoWhereAFileIsExpectedIsRefusedAtOnce)
{
    ASSERT_TRUE(as_other_user([&] { return mkfifo((shared_ + "/Durandex.Log").c_str(), 0666) == 0; }));
    EXPECT_FAILS(CreateFileA("C:\\Durandex.Log", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr),
                 INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
    EXPECT_FAILS(CopyFileA("C:\\Durandex.Log", "C:\\copy", FALSE), FALSE, ERROR_ACCESS_DENIED);
}

// Nobody can plant anything on a read-only filesystem, so another user's
// open directories there (a disc made elsewhere) are read through.
TEST_F(PlantedLinksTest, AnotherUsersDirectoriesOnAReadOnlyFilesystemAreRead)
{
    std::string disc;
    MOUNT_TMPFS_OR_SKIP("disc", "1m", disc);
    std::filesystem::create_directories(disc + "/tree");
    write_native(disc + "/tree/file", "on the disc");
    ASSERT_EQ(chmod((disc + "/tree").c_str(), 0777) | chown((disc + "/tree").c_str(), other_user, other_user), 0);
    configure("E:cdrom=" + disc);
    EXPECT_FAILS(CreateFileA("E:\\tree\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE,
                 ERROR_ACCESS_DENIED);
    ASSERT_EQ(mount(nullptr, disc.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    HANDLE file = CreateFileA("E:\\tree\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

}  // namespace
