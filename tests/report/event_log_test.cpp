#include <sys/mount.h>
#include <unistd.h>

#include "report/event_log.h"
#include "report/event_repeats.h"
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

// A storm of one kind: written the first time, then held back, and a minute
// or more after the last write one count of all that came since. Each kind
// is counted on its own, and across the tick count's wrap.
TEST(EventRepeatsTest, KindIsWrittenOnceThenCountedAtMostOnceAMinute)
{
    EventRepeats repeats;
    unsigned long count = 0;
    const DWORD start = 0xFFFFFFFFu - 30000;
    EXPECT_EQ(repeats.verdict_for("a", start, &count), EventVerdict::Write);
    EXPECT_EQ(repeats.verdict_for("b", start + 1, &count), EventVerdict::Write);
    for (DWORD at = 1; at < 60000; at += 1000) {
        EXPECT_EQ(repeats.verdict_for("a", start + at, &count), EventVerdict::HoldBack) << at;
    }
    ASSERT_EQ(repeats.verdict_for("a", start + 60000, &count), EventVerdict::WriteRepeatCount);
    EXPECT_EQ(count, 61u);
    EXPECT_EQ(repeats.verdict_for("a", start + 60001, &count), EventVerdict::HoldBack);
    ASSERT_EQ(repeats.verdict_for("b", start + 200000, &count), EventVerdict::WriteRepeatCount);
    EXPECT_EQ(count, 1u);

    EXPECT_EQ(event_kind(21, "ERROR 21 in copying D:\\x\\12-3.dir\\28.5.\n"), "21\nERROR # in copying D:\\x\\#-#.dir\\#.#.\n");
    EXPECT_NE(event_kind(21, "ERROR 21 in copying D:\\a.\n"), event_kind(23, "ERROR 21 in copying D:\\a.\n"));
    EXPECT_EQ(repeat_count_text(61, "ERROR 21 in copying D:\\7.\n   Drive not ready.\n"),
              "61 more like this since the last logged; the last: ERROR 21 in copying D:\\7.\n");
}

// Error reports of one kind reach the log once in a storm, with the code of
// each; another code is another kind; entries of other callers are all
// written.
TEST_F(EventLog, StormOfOneKindOfErrorReportIsLoggedOnceAndOtherEntriesAlways)
{
    for (int report = 0; report < 1000; ++report) {
        SetLastError(ERROR_NOT_READY);
        report_error_event("durandex", ("ERROR 21 in copying C:\\" + std::to_string(report) + ".\n").c_str());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
    }
    SetLastError(ERROR_CRC);
    report_error_event("durandex", "ERROR 23 in copying C:\\0.\n");
    for (int record = 0; record < 2; ++record) {
        SetLastError(0);
        report_event("durandex", "7/3/1996, 9:05\n");
    }
    const std::vector<std::string> entries = event_entries();
    // A count may follow only a minute after the first entry.
    ASSERT_GE(entries.size(), 4u);
    ASSERT_LE(entries.size(), 5u);
    EXPECT_EQ(entries.front(), event_entry(21, "ERROR 21 in copying C:\\0.\n"));
    EXPECT_EQ(std::vector<std::string>(entries.end() - 3, entries.end()),
              (std::vector<std::string>{event_entry(23, "ERROR 23 in copying C:\\0.\n"),
                                        event_entry(0, "7/3/1996, 9:05\n"), event_entry(0, "7/3/1996, 9:05\n")}));
}

}  // namespace
