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

// "<type>:<bytes>" of a value, or the status that kept it from being read.
std::string stored(HKEY key, const char* name)
{
    DWORD type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    return status != ERROR_SUCCESS ? "status " + std::to_string(status)
                                   : std::to_string(type) + ":" + std::string(data, data + size);
}

// Names are case-blind; a key opened for reading takes no values; closed
// handles and names that would leave the registry are refused.
TEST_F(Registry, KeysKeepValuesWithTheirTypesAndSizesAndRefuseWhatTheyMayNot)
{
    const HKEY untouched = reinterpret_cast<HKEY>(uintptr_t{1});
    HKEY key = untouched;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, untouched);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex\\Test", &key), ERROR_SUCCESS);
    const BYTE binary[] = {0, 1, 2, 0, 255};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("dflt"), 5), ERROR_SUCCESS);
    for (const char* escaping : {"../outside", ".."}) {
        EXPECT_EQ(RegSetValueExA(key, escaping, 0, REG_BINARY, binary, 1), ERROR_INVALID_PARAMETER);
    }
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\DURANDEX\\test", 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(stored(key, "blob"), std::to_string(REG_BINARY) + ":" + std::string(binary, binary + sizeof binary));
    EXPECT_EQ(stored(key, ""), std::to_string(REG_SZ) + ":dflt" + '\0');
    DWORD size = 0;  // the size alone, then a buffer too short
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    BYTE small[4] = {};
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, small, &(size = sizeof small)), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, binary, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, binary, 1), ERROR_INVALID_HANDLE);
    for (const char* name : {"SOFTWARE\\..\\..\\escape", "a/b", "a\\\\b"}) {
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, name, &key), ERROR_INVALID_PARAMETER) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(root / "escape") || std::filesystem::exists(registry / "escape"));
}

}  // namespace
