#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "drive_fixture.h"
#include "drives/drive.h"
#include "engine/records.h"

namespace {

class DriveRecord : public DriveFixture {
protected:
    void SetUp() override
    {
        DriveFixture::SetUp();
        drive_ = allocate_record<Drive>();
        ASSERT_NE(drive_, nullptr);
    }
    void TearDown() override
    {
        free_record(drive_);
        DriveFixture::TearDown();
    }

    Drive* drive(const char* root_path)
    {
        std::strcpy(drive_->root_path, root_path);
        return drive_;
    }

    void set_geometry(DWORD sectors_per_cluster, DWORD bytes_per_sector, DWORD free_clusters, DWORD total_clusters)
    {
        drive_->sectors_per_cluster.store(sectors_per_cluster);
        drive_->bytes_per_sector.store(bytes_per_sector);
        drive_->free_clusters.store(free_clusters);
        drive_->total_clusters.store(total_clusters);
    }

    Drive* drive_ = nullptr;
};

}  // namespace

TEST_F(DriveRecord, ByteCountsAreFormedIn64Bits)
{
    set_geometry(8, 512, 0x80000000u, 0xFFFFFFFFu);
    EXPECT_EQ(free_bytes(drive_), 8ull * 512 * 0x80000000ull);
    EXPECT_EQ(total_bytes(drive_), 8ull * 512 * 0xFFFFFFFFull);

    set_geometry(1, 512, 3, 10);
    EXPECT_EQ(free_bytes(drive_), 1536u);
    EXPECT_EQ(total_bytes(drive_), 5120u);
}

TEST_F(DriveRecord, FailedRefreshKeepsTheOldGeometry)
{
    map_drives("");
    set_geometry(8, 512, 100, 200);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(refresh_free_space(drive("Q:\\")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << "the call's own code is left";
    EXPECT_EQ(drive_->sectors_per_cluster.load(), 8u);
    EXPECT_EQ(drive_->bytes_per_sector.load(), 512u);
    EXPECT_EQ(drive_->free_clusters.load(), 100u);
    EXPECT_EQ(drive_->total_clusters.load(), 200u);
}

TEST_F(DriveRecord, FreeSpaceFollowsWhatIsWritten)
{
    std::string why;
    std::string directory = make_tmpfs("ram", "16m", &why);
    if (directory.empty()) {
        GTEST_SKIP() << why;
    }
    map_drives("R:ramdisk=" + directory);
    ASSERT_TRUE(refresh_free_space(drive("R:\\")));
    ULONGLONG before = free_bytes(drive_);

    HANDLE file = CreateFileA("R:\\fill", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<char> block(1 << 20, 'x');
    for (int index = 0; index < 4; ++index) {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
    }
    CloseHandle(file);

    ASSERT_TRUE(refresh_free_space(drive_));
    EXPECT_EQ(before - free_bytes(drive_), 4ull << 20);
    EXPECT_EQ(total_bytes(drive_), 16ull << 20);
}

TEST_F(DriveRecord, VolumeDataReadOnClickAndKeptWhenUnreadable)
{
    std::string why;
    std::string directory = make_tmpfs("stick", "4m", &why);
    if (directory.empty()) {
        GTEST_SKIP() << why;
    }
    map_drives("A:removable=" + directory);
    read_volume_data(drive("A:\\"));
    EXPECT_STREQ(drive_->fs_name, "TMPFS");
    EXPECT_EQ(total_bytes(drive_), 4ull << 20);

    // The medium is gone: the record keeps what it showed last.
    map_drives("");
    read_volume_data(drive_);
    EXPECT_STREQ(drive_->fs_name, "TMPFS");
    EXPECT_EQ(total_bytes(drive_), 4ull << 20);
}

// Every copy worker that writes to a drive refreshes the same record while
// others read it.
TEST_F(DriveRecord, ConcurrentRefreshesAgree)
{
    map_drives("C=" + make_directory("c"));
    ASSERT_TRUE(refresh_free_space(drive("C:\\")));
    const ULONGLONG total = total_bytes(drive_);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&] {
            for (int round = 0; round < 50; ++round) {
                if (!refresh_free_space(drive_) || total_bytes(drive_) != total) {
                    failures.fetch_add(1);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}
