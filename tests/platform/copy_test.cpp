#include <sys/statvfs.h>

#include "files_test_support.h"

namespace {

class CopyTest : public DriveTest {};

std::string pattern_of_size(size_t size)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    }
    return bytes;
}

// Pages of the file that the page cache holds.
size_t cached_pages(const std::string& path)
{
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0 || status.st_size == 0) {
        close(descriptor);
        return 0;
    }
    const auto length = static_cast<size_t>(status.st_size);
    void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, descriptor, 0);
    EXPECT_NE(view, MAP_FAILED);
    const size_t pages = resident_pages(view, length);
    munmap(view, length);
    close(descriptor);
    return pages;
}

// An armed copy fails as often as armed; a corrupted one flips its byte only;
// a reset disarms failures and corruption alike.
TEST_F(CopyTest, CopyIsAFileOfItsOwnWithEverySourceByteUnlessAFaultIsArmed)
{
    // Larger than a pipe's default load, and not a multiple of a block.
    const std::string bytes = pattern_of_size(700 * 1024 + 37);
    write_native(c_dir_ + "/SRC.0", bytes);
    fault_arm("CopyFileA", 2, ERROR_CRC);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FAILS(CopyFileA("C:\\SRC.0", "D:\\bad", FALSE), FALSE, ERROR_CRC);
    }
    EXPECT_FALSE(native_exists(d_dir_ + "/bad"));
    const DWORD offset = 280 * 1024 + 5;
    fault_corrupt_next_copy(offset, 0x40);
    EXPECT_QUIET_SUCCESS(CopyFileA("C:\\SRC.0", "D:\\bad", FALSE));
    std::string expected = bytes;
    expected[offset] ^= 0x40;
    EXPECT_EQ(read_text_file(d_dir_ + "/bad"), expected);
    fault_arm("CopyFileA", 5, ERROR_CRC);
    fault_corrupt_next_copy(0, 0xff);
    fault_reset();
    ASSERT_TRUE(CopyFileA("C:\\SRC.0", "C:\\1.0", FALSE));
    write_native(c_dir_ + "/SRC.0", "changed!");
    EXPECT_EQ(read_text_file(c_dir_ + "/1.0"), bytes) << "the copy shares nothing with its source";
}

// On ext4 a file of a megabyte or more goes straight to the drive but for
// its last partial block, and every size comes out whole; the seam's flipped
// byte lands in a copy still open for direct I/O; a copy that finds the
// drive full fails with 112 and leaves nothing.
TEST_F(CopyTest, CopiesOntoExt4AreWholeAndLargeOnesBypassTheCache)
{
    std::string e_dir;
    if (const std::string refusal = mount_ext4("e", "32M", "-m 0", &e_dir); !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    configure("C=" + c_dir_ + ";E=" + e_dir);
    constexpr size_t megabyte = 1024 * 1024;
    for (const size_t size : {size_t{0}, size_t{243}, size_t{4096}, megabyte - 13, megabyte, 4 * megabyte + 13}) {
        SCOPED_TRACE(size);
        write_native(c_dir_ + "/SRC", pattern_of_size(size));
        ASSERT_TRUE(CopyFileA("C:\\SRC", "E:\\copy", FALSE));
        if (size >= megabyte) {
            EXPECT_LE(cached_pages(e_dir + "/copy"), size % 4096 == 0 ? 0u : 1u);
        }
        EXPECT_EQ(read_text_file(e_dir + "/copy"), pattern_of_size(size));
    }
    write_native(c_dir_ + "/SRC", pattern_of_size(megabyte));
    fault_corrupt_next_copy(5, 0x08);
    ASSERT_TRUE(CopyFileA("C:\\SRC", "E:\\copy", FALSE));
    std::string expected = pattern_of_size(megabyte);
    expected[5] ^= 0x08;
    EXPECT_EQ(read_text_file(e_dir + "/copy"), expected);

    struct statvfs volume {};
    ASSERT_EQ(statvfs(e_dir.c_str(), &volume), 0);
    const int filler = open((e_dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(posix_fallocate(filler, 0, static_cast<off_t>(volume.f_bfree * volume.f_frsize - 2 * megabyte)), 0);
    close(filler);
    write_native(c_dir_ + "/SRC", pattern_of_size(4 * megabyte + 13));
    EXPECT_FAILS(CopyFileA("C:\\SRC", "E:\\full", FALSE), FALSE, ERROR_DISK_FULL);
    EXPECT_FALSE(native_exists(e_dir + "/full"));
}

TEST_F(CopyTest, RefusedCopiesLeaveTheTargetsAsTheyWere)
{
    write_native(c_dir_ + "/ro", "first");
    ASSERT_TRUE(SetFileAttributesA("C:\\ro", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(CopyFileA("C:\\ro", "D:\\copy", FALSE));
    EXPECT_EQ(GetFileAttributesA("D:\\copy"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    write_native(c_dir_ + "/src", "new");
    write_native(d_dir_ + "/dst", "old and longer");
    const std::pair<const char*, DWORD> refusals[] = {{"D:\\copy", ERROR_ACCESS_DENIED},
                                                      {"C:\\.\\src", ERROR_SHARING_VIOLATION},
                                                      {"D:\\no-dir\\x", ERROR_PATH_NOT_FOUND}};
    for (const auto& [target, code] : refusals) {
        SCOPED_TRACE(target);
        EXPECT_FAILS(CopyFileA("C:\\src", target, FALSE), FALSE, code);
    }
    EXPECT_FAILS(CopyFileA("C:\\absent", "D:\\x", FALSE), FALSE, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read_text_file(d_dir_ + "/copy"), "first");
    EXPECT_EQ(read_text_file(c_dir_ + "/src"), "new");
    EXPECT_FALSE(native_exists(d_dir_ + "/x"));
    ASSERT_TRUE(CopyFileA("C:\\src", "D:\\dst", FALSE)) << "replacing is allowed unless forbidden";
    EXPECT_EQ(read_text_file(d_dir_ + "/dst"), "new");
}

}  // namespace
