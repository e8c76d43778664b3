#include "files_test_support.h"

#include <atomic>
#include <thread>

namespace {

// What each armable operation works on, opened before anything is armed.
struct Rig {
    HANDLE file = INVALID_HANDLE_VALUE, search = INVALID_HANDLE_VALUE, mapping = nullptr;
    const void* view = nullptr;
    WIN32_FIND_DATAA data{};
    char bytes[8] = {};
    DWORD n[4] = {};
};

// Each operation called for real; true when it reports failure.
const std::pair<const char*, bool (*)(Rig&)> cases[] = {
    {"CopyFileA", [](Rig&) { return !CopyFileA("C:\\f", "D:\\copy", FALSE); }},
    {"CreateFileA",
     [](Rig&) { return CreateFileA("C:\\f", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, 0) == INVALID_HANDLE_VALUE; }},
    {"ReadFile", [](Rig& r) { return !ReadFile(r.file, r.bytes, 1, &r.n[0], nullptr); }},
    {"WriteFile", [](Rig& r) { return !WriteFile(r.file, "x", 1, &r.n[0], nullptr); }},
    {"GetFileSize", [](Rig& r) { return GetFileSize(r.file, nullptr) == INVALID_FILE_SIZE; }},
    {"SetFilePointer", [](Rig& r) { return SetFilePointer(r.file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER; }},
    {"SetEndOfFile", [](Rig& r) { return !SetEndOfFile(r.file); }},
    {"FlushFileBuffers", [](Rig& r) { return !FlushFileBuffers(r.file); }},
    {"DeleteFileA", [](Rig&) { return !DeleteFileA("C:\\f"); }},
    {"GetFileAttributesA", [](Rig&) { return GetFileAttributesA("C:\\f") == INVALID_FILE_ATTRIBUTES; }},
    {"SetFileAttributesA", [](Rig&) { return !SetFileAttributesA("C:\\f", FILE_ATTRIBUTE_NORMAL); }},
    {"CreateDirectoryA", [](Rig&) { return !CreateDirectoryA("C:\\new", nullptr); }},
    {"RemoveDirectoryA", [](Rig&) { return !RemoveDirectoryA("C:\\dir"); }},
    {"FindFirstFileA", [](Rig& r) { return FindFirstFileA("C:\\*", &r.data) == INVALID_HANDLE_VALUE; }},
    {"FindNextFileA", [](Rig& r) { return !FindNextFileA(r.search, &r.data); }},
    {"FindClose", [](Rig& r) { return !FindClose(r.search); }},
    {"CreateFileMappingA",
     [](Rig& r) { return CreateFileMappingA(r.file, nullptr, PAGE_READONLY, 0, 0, nullptr) == nullptr; }},
    {"MapViewOfFile", [](Rig& r) { return MapViewOfFile(r.mapping, FILE_MAP_READ, 0, 0, 0) == nullptr; }},
    {"UnmapViewOfFile", [](Rig& r) { return !UnmapViewOfFile(r.view); }},
    {"GetDriveTypeA", [](Rig&) { return GetDriveTypeA("C:\\") == DRIVE_UNKNOWN; }},
    {"GetVolumeInformationA",
     [](Rig&) { return !GetVolumeInformationA("C:\\", nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0); }},
    {"GetDiskFreeSpaceA", [](Rig& r) { return !GetDiskFreeSpaceA("C:\\", &r.n[0], &r.n[1], &r.n[2], &r.n[3]); }},
    {"GetComputerNameA", [](Rig& r) { return !GetComputerNameA(r.bytes, &(r.n[0] = sizeof r.bytes)); }},
    {"GlobalAlloc", [](Rig&) { return GlobalAlloc(GMEM_FIXED, 16) == nullptr; }},
    {"CreateThread",
     [](Rig&) { return CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr) == nullptr; }},
};
static_assert(std::size(cases) == fault_operation_count, "every armable operation has a case");

class FaultsTest : public DriveTest {};

TEST_F(FaultsTest, EveryOperationFailsWithTheArmedCodeAndLeavesTheRestAlone)
{
    write_native(c_dir_ + "/f", "abc");
    ASSERT_TRUE(CreateDirectoryA("C:\\dir", nullptr));
    Rig rig;
    rig.file = open_file("C:\\f", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    rig.search = FindFirstFileA("C:\\*", &rig.data);
    rig.mapping = CreateFileMappingA(rig.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    rig.view = MapViewOfFile(rig.mapping, FILE_MAP_READ, 0, 0, 0);
    ASSERT_TRUE(rig.file != INVALID_HANDLE_VALUE && rig.search != INVALID_HANDLE_VALUE && rig.view != nullptr);
    for (const auto& [name, fails] : cases) {
        SCOPED_TRACE(name);
        EXPECT_QUIET_SUCCESS(fault_arm(name, 1, ERROR_NOT_READY));
        EXPECT_FAILS(fails(rig), true, ERROR_NOT_READY);
    }
    // Used up: each ran once as armed and nothing else changed.
    EXPECT_EQ(read_text_file(c_dir_ + "/f"), "abc");
    EXPECT_TRUE(native_exists(c_dir_ + "/dir"));
    EXPECT_FALSE(native_exists(d_dir_ + "/copy"));
    EXPECT_TRUE(UnmapViewOfFile(rig.view));
    EXPECT_TRUE(FindClose(rig.search));
    CloseHandle(rig.mapping);
    CloseHandle(rig.file);
    EXPECT_FAILS(fault_arm("CopyFile", 1, ERROR_NOT_READY), FALSE, ERROR_INVALID_PARAMETER);
}

// A held operation waits in its call, as on a drive that never answers,
// until the seam is reset; then the call runs for real.
TEST_F(FaultsTest, HeldCallWaitsUntilResetThenRunsForReal)
{
    write_native(c_dir_ + "/f", "abc");
    ASSERT_TRUE(fault_hold("CopyFileA"));
    std::atomic<int> copied{-1};
    std::thread copier([&] { copied = CopyFileA("C:\\f", "D:\\copy", FALSE); });
    EXPECT_TRUE(wait_until([] { return fault_held_calls() == 1; }));
    EXPECT_EQ(copied.load(), -1);
    EXPECT_TRUE(CreateDirectoryA("C:\\new", nullptr)) << "other operations go on";
    fault_reset();
    copier.join();
    EXPECT_EQ(copied.load(), TRUE);
    EXPECT_EQ(fault_held_calls(), 0u);
    EXPECT_EQ(read_text_file(d_dir_ + "/copy"), "abc");
    EXPECT_FAILS(fault_hold("CopyFile"), FALSE, ERROR_INVALID_PARAMETER);
}

}  // namespace
