// Temporary drive directories and mounts for the file-system tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "conformance.h"
#include "platform/drive_map.h"
#include "platform/faults.h"
#include "tests/support.h"

inline std::string make_temp_directory()
{
    char pattern[] = "/tmp/durandex-files-XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr) << std::strerror(errno);
    return made == nullptr ? std::string() : std::string(made);
}

// Pages of the `length` bytes mapped at `view` that are in memory.
inline size_t resident_pages(const void* view, size_t length)
{
    const auto page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> residency((length + page - 1) / page);
    EXPECT_EQ(mincore(const_cast<void*>(view), length, residency.data()), 0);
    return static_cast<size_t>(std::count_if(residency.begin(), residency.end(), [](unsigned char r) { return r & 1; }));
}

inline void write_native(const std::string& path, const std::string& bytes) { std::ofstream(path) << bytes; }

inline bool native_exists(const std::string& path) { return std::filesystem::exists(path); }

inline void remove_tree(const std::string& path) { std::error_code e; std::filesystem::remove_all(path, e); }

// A test with drives C: and D: mapped to fresh directories.
class DriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = make_temp_directory();
        ASSERT_FALSE(root_.empty());
        c_dir_ = root_ + "/c", d_dir_ = root_ + "/d";
        ASSERT_EQ(mkdir(c_dir_.c_str(), 0777) | mkdir(d_dir_.c_str(), 0777), 0);
        configure("C=" + c_dir_ + ";D=" + d_dir_);
        fault_reset();
    }
    void TearDown() override
    {
        fault_reset();
        for (const std::string& mount_point : mounts_) {
            umount2(mount_point.c_str(), MNT_DETACH);
        }
        remove_tree(root_);
    }
    HANDLE open_file(const char* path, DWORD access, DWORD disposition)
    {
        return CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    void configure(const std::string& setting)
    {
        std::string error;
        ASSERT_TRUE(drive_map_configure(setting.c_str(), &error)) << error;
    }
    // Opens the file for reading and maps a whole-file view of it.
    const char* map_whole(const char* path, HANDLE* file, HANDLE* mapping)
    {
        *file = open_file(path, GENERIC_READ, OPEN_EXISTING);
        *mapping = CreateFileMappingA(*file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        return static_cast<const char*>(MapViewOfFile(*mapping, FILE_MAP_READ, 0, 0, 0));
    }
    // Mounts a tmpfs of `size` ("8m", "64T") at root/name; gives why it could not, or nothing.
    std::string mount_tmpfs(const std::string& name, const std::string& size, std::string* mount_point)
    {
        *mount_point = root_ + "/" + name;
        if (mkdir(mount_point->c_str(), 0777) != 0 ||
            mount("durandex-test", mount_point->c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
            return "cannot mount a tmpfs of size " + size + " (needs root): " + std::strerror(errno);
        }
        mounts_.push_back(*mount_point);
        return "";
    }
    // Loop-mounts a fresh ext4 image of `size` ("16M") at root/name, with
    // mkfs.ext4's extra options; gives why it could not, or nothing.
    std::string mount_ext4(const std::string& name, const std::string& size, const std::string& options,
                           std::string* mount_point)
    {
        *mount_point = root_ + "/" + name;
        if (mkdir(mount_point->c_str(), 0777) != 0) {
            return std::string("cannot make ") + *mount_point + ": " + std::strerror(errno);
        }
        std::string refusal = loop_mount_ext4(*mount_point + ".img", *mount_point, size, options);
        if (refusal.empty()) {
            mounts_.push_back(*mount_point);
        }
        return refusal;
    }
    std::string root_, c_dir_, d_dir_;
    std::vector<std::string> mounts_;
};

// Skips the calling test unless a tmpfs of `size` can be mounted at root/name.
#define MOUNT_TMPFS_OR_SKIP(name, size, mount_point)                                                 \
    do {                                                                                              \
        if (const std::string refusal = mount_tmpfs(name, size, &(mount_point)); !refusal.empty()) { \
            GTEST_SKIP() << refusal;                                                                  \
        }                                                                                             \
    } while (0)
