#include <gtest/gtest.h>

#include "registry_fixture.h"

namespace {

// Registry calls answer with their status and leave the last error (a sentinel) alone.
class Registry : public RegistryTest {
protected:
    void SetUp() override { RegistryTest::SetUp(); SetLastError(sentinel); }
    void TearDown() override
    {
        EXPECT_EQ(GetLastError(), sentinel) << "a registry call changed the last error";
        RegistryTest::TearDown();
    }
};

TEST_F(Registry, CreatedKeyKeepsValuesWithTheirTypesAndSizes)
{
    const HKEY untouched = reinterpret_cast<HKEY>(uintptr_t{1});
    HKEY key = untouched;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, untouched);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex\\Test", &key), ERROR_SUCCESS);
    const BYTE binary[] = {0, 1, 2, 0, 255};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\DURANDEX\\test", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::to_string(type) + ":" + std::string(data, data + size),
              std::to_string(REG_BINARY) + ":" + std::string(binary, binary + sizeof binary));
    size = sizeof data;
    ASSERT_EQ(RegQueryValueExA(key, "", nullptr, &type, data, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::to_string(type) + ":" + std::string(data, data + size), std::to_string(REG_SZ) + ":dflt" + '\0');
    // The size alone, then a buffer too short.
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &(size = 0)), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    BYTE small[4] = {};
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, small, &(size = sizeof small)), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, ClosedHandlesMissingRightsAndEscapingNamesAreRefused)
{
    HKEY key = nullptr;
    const DWORD value = 1;
    auto set_value = [&value](HKEY target, const char* name) {
        return RegSetValueExA(target, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    };
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "Rights", &key), ERROR_SUCCESS);
    EXPECT_EQ(set_value(key, "../outside"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(set_value(key, ".."), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Rights", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(set_value(key, "V"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(set_value(key, "V"), ERROR_INVALID_HANDLE);
    for (const char* name : {"SOFTWARE\\..\\..\\escape", "a/b", "a\\\\b"}) {
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, name, &key), ERROR_INVALID_PARAMETER) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(root / "escape"));
    EXPECT_FALSE(std::filesystem::exists(registry / "escape"));
}

}  // namespace
