// The event log on Windows: the source's registry entries, made by the real
// registry calls, are there after a report.
#include <gtest/gtest.h>

#include <string>

#include "report/event_log.h"

namespace {

constexpr const char* source_key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\DurandexWineTest";

std::string text_value(HKEY key, const char* name, DWORD* type)
{
    char value[MAX_PATH] = {};
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
        return "";
    }
    return value;
}

}  // namespace

TEST(EventLog, AReportRegistersItsSourceWithMessageFileAndTypes)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, source_key);
    report_event("DurandexWineTest", "ERROR 21 in compare thread");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, source_key, 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0;
    EXPECT_EQ(text_value(key, "EventMessageFile", &type), "DurandexWineTest.exe");
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    DWORD types_supported = 0;
    DWORD size = sizeof types_supported;
    EXPECT_EQ(RegQueryValueExA(key, "TypesSupported", nullptr, &type, reinterpret_cast<BYTE*>(&types_supported),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(types_supported, 1u);
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, source_key);
}
