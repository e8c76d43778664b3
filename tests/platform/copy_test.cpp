#include "files_test_support.h"

namespace {

class CopyTest : public DriveTest {};

// An armed copy fails as often as armed; a corrupted one flips its byte only;
// a reset disarms failures and corruption alike.
TEST_F(CopyTest, CopyIsAFileOfItsOwnWithEverySourceByteUnlessAFaultIsArmed)
{
    // Larger than the copy's buffer, and not a multiple of it.
    std::string bytes(700 * 1024 + 37, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    }
    write_native(c_dir_ + "/SRC.0", bytes);
    fault_arm("CopyFileA", 2, ERROR_CRC);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FAILS(CopyFileA("C:\\SRC.0", "D:\\bad", FALSE), FALSE, ERROR_CRC);
    }
    EXPECT_FALSE(native_exists(d_dir_ + "/bad"));
    const DWORD offset = 280 * 1024 + 5;  // in the copy's second buffer
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
