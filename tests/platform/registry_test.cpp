#include "registry_fixture.h"

namespace {

// Storing and reading values back is proven with the event log's keys; here:
// case-blind names, sizes and short buffers, rights, closed handles and names
// that would leave the registry. No call changes the last error.
TEST_F(RegistryTest, KeysAnswerWithTheirStatusAndRefuseWhatTheyMayNot)
{
    SetLastError(sentinel);
    const HKEY untouched = reinterpret_cast<HKEY>(uintptr_t{1});
    HKEY key = untouched;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, untouched);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Durandex\\Test", &key), ERROR_SUCCESS);
    const BYTE binary[] = {0, 1, 2, 0, 255};
    ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    for (const char* escaping : {"../outside", ".."}) {
        EXPECT_EQ(RegSetValueExA(key, escaping, 0, REG_BINARY, binary, 1), ERROR_INVALID_PARAMETER);
    }
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\DURANDEX\\test", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(size, 5u);
    BYTE data[4] = {};
    EXPECT_EQ(RegQueryValueExA(key, "BLOB", nullptr, nullptr, data, &(size = sizeof data)), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(RegQueryValueExA(key, "blob", nullptr, nullptr, data, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, binary, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_BINARY, binary, 1), ERROR_INVALID_HANDLE);
    for (const char* name : {"SOFTWARE\\..\\..\\escape", "a/b", "a\\\\b"}) {
        EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, name, &key), ERROR_INVALID_PARAMETER) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(root / "escape") || std::filesystem::exists(registry / "escape"));
    EXPECT_EQ(GetLastError(), sentinel);
}

}  // namespace
