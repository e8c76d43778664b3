// The Windows platform layer's own parts: local time stamps and the locks
// that tell a live run's directories from those a dead run left.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <string>

#include "platform/directory_locks.h"
#include "platform/json_result.h"

namespace {

// The instant an ISO 8601 text with an offset stands for.
time_t instant_of(const std::string& text)
{
    std::smatch parts;
    const std::regex form(R"((\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)([+-])(\d\d):(\d\d))");
    if (!std::regex_match(text, parts, form)) {
        return -1;
    }
    struct tm fields {};
    fields.tm_year = std::stoi(parts[1]) - 1900;
    fields.tm_mon = std::stoi(parts[2]) - 1;
    fields.tm_mday = std::stoi(parts[3]);
    fields.tm_hour = std::stoi(parts[4]);
    fields.tm_min = std::stoi(parts[5]);
    fields.tm_sec = std::stoi(parts[6]);
    const long offset = (std::stol(parts[8]) * 60 + std::stol(parts[9])) * 60 * (parts[7] == "-" ? -1 : 1);
    return _mkgmtime(&fields) - offset;
}

std::string fresh_directory(const char* name)
{
    char temporary[MAX_PATH] = {};
    GetTempPathA(sizeof temporary, temporary);
    const std::string path = std::string(temporary) + name + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

}  // namespace

TEST(LocalTime, StampsNameTheirInstantWithTheOffsetInForce)
{
    // Midwinter and midsummer, so that a daylight-saving offset shows too (the
    // test runs in a zone that has one).
    for (const time_t instant : {time_t{1796083200}, time_t{1811808000}, std::time(nullptr)}) {
        const std::string text = iso8601_local(instant);
        EXPECT_EQ(instant_of(text), instant) << text;
    }
}

TEST(DirectoryLocks, AHeldOrMarkedDirectoryIsNotTakenForUnusedAndCanStillBeRemoved)
{
    const std::string left = fresh_directory("durandex-left-");
    ASSERT_TRUE(directory_lock_unused(left.c_str()));
    EXPECT_FALSE(directory_lock_unused(left.c_str()));
    directory_unlock(left.c_str());
    ASSERT_TRUE(directory_lock_unused(left.c_str()));
    // The leftover cleanup removes the directory while it holds it.
    EXPECT_TRUE(RemoveDirectoryA(left.c_str()));
    directory_unlock(left.c_str());
    EXPECT_EQ(GetFileAttributesA(left.c_str()), INVALID_FILE_ATTRIBUTES);

    const std::string live = fresh_directory("durandex-live-");
    ASSERT_TRUE(directory_mark_in_use(live.c_str()));
    EXPECT_FALSE(directory_lock_unused(live.c_str()));
    // The run's own cleanup still removes it.
    EXPECT_TRUE(RemoveDirectoryA(live.c_str()));
}
