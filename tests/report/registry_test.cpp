#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "report_fixture.h"

namespace {

// The registry calls answer with their status and never touch the thread's
// last error, which each test sets to a sentinel first.
class Registry : public ReportTest {
protected:
    void SetUp() override
    {
        ReportTest::SetUp();
        SetLastError(0xdeadbeef);
    }
    void TearDown() override
    {
        EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "a registry call changed the last error";
        ReportTest::TearDown();
    }
};

TEST_F(Registry, MissingKeyIsNotFound)
{
    HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(1));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, reinterpret_cast<HKEY>(static_cast<uintptr_t>(1)));
}

TEST_F(Registry, CreatedKeyKeepsValuesWithTheirTypes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex\\Test", &key), ERROR_SUCCESS);
    const BYTE binary[] = {0, 1, 2, 0, 255};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(registry / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Durandex" / "Test"));

    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\DURANDEX\\test", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, sizeof binary);
    EXPECT_EQ(std::memcmp(data, binary, sizeof binary), 0);
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(reinterpret_cast<char*>(data), "dflt");
    EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, QuerySizesAndShortBuffers)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Sizes", &key), ERROR_SUCCESS);
    const char text[] = "twelve bytes";
    ASSERT_EQ(RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, sizeof text);
    BYTE small[4] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, RightsOfTheHandleAreEnforced)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Rights", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Rights", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value),
              ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value),
              ERROR_INVALID_HANDLE);
}

TEST_F(Registry, NamesCannotLeaveTheirKey)
{
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\..\\..\\escape", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "a/b", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "a\\\\b", &key), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Safe", &key), ERROR_SUCCESS);
    DWORD value = 1;
    EXPECT_EQ(RegSetValueExA(key, "../outside", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "..", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value),
              ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    EXPECT_FALSE(std::filesystem::exists(root / "escape"));
    EXPECT_FALSE(std::filesystem::exists(registry / "escape"));
}

TEST_F(Registry, UnwritableStoreIsDeniedAccess)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a read-only tmpfs for the registry";
    }
    std::filesystem::create_directories(registry / "HKEY_LOCAL_MACHINE" / "Present");
    if (mount("durandex-registry", registry.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) {
        GTEST_SKIP() << "the kernel refused a read-only tmpfs: " << std::strerror(errno);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "New", &key), ERROR_ACCESS_DENIED);
    umount(registry.c_str());
    // A read-only store that has the key: reading works, writing is denied.
    std::filesystem::create_directories(registry / "HKEY_LOCAL_MACHINE" / "Present");
    ASSERT_EQ(mount(registry.c_str(), registry.c_str(), nullptr, MS_BIND, nullptr), 0) << std::strerror(errno);
    ASSERT_EQ(mount(nullptr, registry.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Present", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Present", 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Present\\Sub", &key), ERROR_ACCESS_DENIED);
    umount(registry.c_str());
}

}  // namespace
