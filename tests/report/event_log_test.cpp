#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <thread>

#include "report/event_log.h"
#include "report_fixture.h"

namespace {

constexpr const char* source_key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\durandex";

struct StoredValue {
    LSTATUS status;
    DWORD type;
    std::string bytes;
};

StoredValue query_value(const char* name)
{
    HKEY key = nullptr;
    StoredValue value{RegOpenKeyExA(HKEY_LOCAL_MACHINE, source_key, 0, KEY_READ, &key), REG_NONE, {}};
    if (value.status != ERROR_SUCCESS) {
        return value;
    }
    char data[64] = {};
    DWORD size = sizeof data;
    value.status = RegQueryValueExA(key, name, nullptr, &value.type, reinterpret_cast<BYTE*>(data), &size);
    value.bytes.assign(data, value.status == ERROR_SUCCESS ? size : 0);
    RegCloseKey(key);
    return value;
}

using EventLog = ReportTest;

TEST_F(EventLog, FirstEntryRegistersSourceWithItsTwoValues)
{
    SetLastError(ERROR_NOT_READY);
    report_event("durandex", "ERROR 21 in reading.\n   Drive not ready.\n");

    StoredValue message_file = query_value("EventMessageFile");
    ASSERT_EQ(message_file.status, ERROR_SUCCESS);
    EXPECT_EQ(message_file.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(message_file.bytes, std::string("durandex.exe", 13));
    StoredValue types = query_value("TypesSupported");
    ASSERT_EQ(types.status, ERROR_SUCCESS);
    EXPECT_EQ(types.type, static_cast<DWORD>(REG_DWORD));
    DWORD one = 1;
    EXPECT_EQ(types.bytes, std::string(reinterpret_cast<const char*>(&one), sizeof one));
    EXPECT_EQ(event_entries(),
              std::vector<std::string>{event_entry(21, "ERROR 21 in reading.\n   Drive not ready.\n")});
}

TEST_F(EventLog, ExistingRegistrationIsNeitherReadNorRewritten)
{
    register_event_source("durandex");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, source_key, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    DWORD changed = 7;
    ASSERT_EQ(RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<BYTE*>(&changed), sizeof changed),
              ERROR_SUCCESS);
    RegCloseKey(key);

    report_event("durandex", "again\n");
    register_event_source("durandex");
    StoredValue types = query_value("TypesSupported");
    ASSERT_EQ(types.status, ERROR_SUCCESS);
    EXPECT_EQ(types.bytes, std::string(reinterpret_cast<const char*>(&changed), sizeof changed));
}

TEST_F(EventLog, KeyMadeBySomeoneElseIsLeftWithoutValues)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, source_key, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    report_event("durandex", "entry\n");
    EXPECT_EQ(query_value("EventMessageFile").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(query_value("TypesSupported").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(event_entries().size(), 1u);
}

// The code in the first string is whatever the caller's thread last failed
// with; registering the source must not disturb it.
TEST_F(EventLog, FirstStringCarriesTheThreadsLastError)
{
    SetLastError(1234);
    report_event("durandex", "Copy=1, Comp=0, Err=3, Excp=0\n");
    SetLastError(0);
    report_event("durandex", "TASK: C: to D: [10], Copy:1, Comp:1, Err:1, Excp:0\n");
    EXPECT_EQ(event_entries(), (std::vector<std::string>{
                                   event_entry(1234, "Copy=1, Comp=0, Err=3, Excp=0\n"),
                                   event_entry(0, "TASK: C: to D: [10], Copy:1, Comp:1, Err:1, Excp:0\n"),
                               }));
}

TEST_F(EventLog, UnwritableRegistryStillLetsTheEntryThrough)
{
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to mount a read-only tmpfs for the registry";
    }
    std::filesystem::create_directories(registry);
    if (mount("durandex-registry", registry.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) {
        GTEST_SKIP() << "the kernel refused a read-only tmpfs: " << std::strerror(errno);
    }
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, source_key, &key), ERROR_ACCESS_DENIED);
    SetLastError(ERROR_CRC);
    report_event("durandex", "ERROR 23 in reading.\n");
    EXPECT_EQ(query_value("TypesSupported").status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(event_entries(), std::vector<std::string>{event_entry(23, "ERROR 23 in reading.\n")});
    umount(registry.c_str());
}

TEST_F(EventLog, EntriesOfManyThreadsStayWhole)
{
    constexpr int thread_count = 4;
    constexpr int entries_per_thread = 200;
    std::vector<std::thread> reporters;
    for (int t = 0; t < thread_count; ++t) {
        reporters.emplace_back([t] {
            SetLastError(static_cast<DWORD>(100 + t));
            std::string text = "line one of " + std::to_string(t) + "\nline two of " + std::to_string(t) + "\n";
            for (int n = 0; n < entries_per_thread; ++n) {
                report_event("durandex", text.c_str());
            }
        });
    }
    for (std::thread& reporter : reporters) {
        reporter.join();
    }
    std::vector<std::string> entries = event_entries();
    ASSERT_EQ(entries.size(), static_cast<size_t>(thread_count * entries_per_thread));
    std::map<std::string, int> counts;
    for (const std::string& entry : entries) {
        ++counts[entry];
    }
    for (int t = 0; t < thread_count; ++t) {
        std::string text = "line one of " + std::to_string(t) + "\nline two of " + std::to_string(t) + "\n";
        EXPECT_EQ(counts[event_entry(static_cast<DWORD>(100 + t), text)], entries_per_thread);
    }
}

TEST_F(EventLog, SourceHandleIsAnEventSourceOnly)
{
    HANDLE source = RegisterEventSourceA(nullptr, "durandex");
    ASSERT_NE(source, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(CloseHandle(source));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    LPCSTR strings[1] = {"single"};
    EXPECT_TRUE(ReportEventA(source, EVENTLOG_WARNING_TYPE, 3, 9, nullptr, 1, 0, strings, nullptr));
    EXPECT_TRUE(DeregisterEventSource(source));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeregisterEventSource(source));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(event_entries(),
              std::vector<std::string>{"source=durandex type=2 category=3 id=9 strings=1\nsingle\n\n"});
}

}  // namespace
