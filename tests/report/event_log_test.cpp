#include <sys/mount.h>
#include <unistd.h>

#include "report/event_log.h"
#include "tests/platform/registry_fixture.h"

namespace {

constexpr const char* source_key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\durandex";

// "<type>:<bytes>" of a value of the source's key, or "missing".
std::string stored_value(const char* name)
{
    HKEY key = nullptr;
    char data[64] = {};
    DWORD type = REG_NONE, size = sizeof data;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, source_key, 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
    }
    return status == ERROR_SUCCESS ? std::to_string(type) + ":" + std::string(data, size) : "missing";
}

using EventLog = RegistryTest;

// The code in each first string is the caller's last error, undisturbed by
// the registration.
TEST_F(EventLog, FirstEntryRegistersSourceWithItsTwoValues)
{
    SetLastError(ERROR_NOT_READY);
    report_event("durandex", "ERROR 21 in reading.\n   Drive not ready.\n");
    EXPECT_EQ(stored_value("EventMessageFile"), std::to_string(REG_EXPAND_SZ) + ":" + std::string("durandex.exe", 13));
    const DWORD one = 1;
    EXPECT_EQ(stored_value("TypesSupported"), std::to_string(REG_DWORD) + ":" + std::string((const char*)&one, 4));
    EXPECT_EQ(event_entries(), std::vector<std::string>{event_entry(21, "ERROR 21 in reading.\n   Drive not ready.\n")});
}

// A key someone else made is left without values; with the registry
// read-only the source cannot be registered, and entries still get through.
TEST_F(EventLog, KeysTheProgramCannotOrNeedNotWriteAreLeftAlone)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, source_key, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    SetLastError(0);
    report_event("durandex", "entry\n");
    EXPECT_EQ(stored_value("EventMessageFile") + stored_value("TypesSupported"), "missingmissing");
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount the registry read-only";
    }
    std::filesystem::remove_all(registry / "HKEY_LOCAL_MACHINE" / "SYSTEM");
    ASSERT_EQ(mount(registry.c_str(), registry.c_str(), nullptr, MS_BIND, nullptr), 0);
    ASSERT_EQ(mount(nullptr, registry.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0);
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, source_key, &key), ERROR_ACCESS_DENIED);
    SetLastError(ERROR_CRC);
    report_event("durandex", "ERROR 23 in reading.\n");
    EXPECT_EQ(stored_value("TypesSupported"), "missing");
    EXPECT_EQ(event_entries(), (std::vector<std::string>{event_entry(0, "entry\n"),
                                                         event_entry(23, "ERROR 23 in reading.\n")}));
}

}  // namespace
