// A private registry and event log file in a temporary directory.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files_test_support.h"
#include "platform/settings.h"

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = make_temp_directory();
        ASSERT_FALSE(root.empty());
        registry = root / "registry", event_log = root / "events.log";
        setting_override(Setting::Registry, registry.c_str());
        setting_override(Setting::EventLog, event_log.c_str());
    }
    void TearDown() override
    {
        // A test that failed half-way may leave its registry mount behind.
        while (umount2(registry.c_str(), MNT_DETACH) == 0) {
        }
        remove_tree(root);
    }
    // The event log's entries, one block each.
    std::vector<std::string> event_entries() const
    {
        const std::string content = read_text_file(event_log);
        std::vector<std::string> entries;
        size_t begin = 0;
        for (size_t end = content.find("\n\n"); end != std::string::npos; end = content.find("\n\n", begin)) {
            entries.push_back(content.substr(begin, end + 2 - begin));
            begin = end + 2;
        }
        EXPECT_EQ(begin, content.size()) << "event log ends inside an entry: " << content;
        return entries;
    }
    std::filesystem::path root, registry, event_log;
};

// The entry the event log holds for one report.
inline std::string event_entry(DWORD code, const std::string& text)
{
    return "source=durandex type=1 category=0 id=0 strings=2\ndurandex error: " + std::to_string(code) + "\n" +
           text + "\n";
}
