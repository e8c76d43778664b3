// What an unattended run leaves for machines: the disk named behind each
// drive at Start, the JSON result and the metrics file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "program_process.h"

namespace {

class FleetResults : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment() const
    {
        std::string drives;
        for (const auto& [letter, path] : drives_.drives) {
            drives += std::string(drives.empty() ? "" : ";") + letter + ":fixed=" + path.string();
        }
        return {{"DURANDEX_DRIVES", drives},
                {"DURANDEX_TIME_SCALE", "60"},
                {"DURANDEX_INSTANCE", (drives_.root / "lock").string()},
                {"DURANDEX_REGISTRY", (drives_.root / "registry").string()},
                {"DURANDEX_EVENT_LOG", (drives_.root / "events").string()}};
    }

    std::filesystem::path summary() const { return drives_.drives.at('C') / "Durandex.Log"; }
    std::filesystem::path result() const { return drives_.root / "result.json"; }
    std::string json_option() const { return "--json=" + result().string(); }

    DriveDirectories drives_;
};

// The schema's violations in the result file; empty when it is valid.
std::string schema_violations(const std::filesystem::path& result)
{
    const std::string command = std::string("python3 " DURANDEX_SOURCE_DIR "/tests/shell/validate_result.py ") +
                                DURANDEX_SOURCE_DIR "/doc/durandex-result.schema.json " + result.string() + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr) {
        text += buffer;
    }
    const int status = pclose(pipe.release());
    return status == 0 ? "" : text.empty() ? "validator failed" : text;
}

// The result agrees with the summary log: the error total, and each task's
// counts from its "TASK: C: to D: [10], Copy:.., Comp:.., Err:.., Excp:.." line.
void expect_totals_match_summary(const nlohmann::json& result, const std::string& summary)
{
    std::smatch total;
    ASSERT_TRUE(std::regex_search(summary, total, std::regex("Total Errors = (\\d+)\n"))) << summary;
    EXPECT_EQ(result["totals"]["errors"], std::stoul(total[1]));
    ASSERT_FALSE(result["tasks"].empty());
    unsigned long long verified = 0;
    for (const nlohmann::json& task : result["tasks"]) {
        const std::string source = task["source"]["letter"], target = task["target"]["letter"];
        std::smatch line;
        ASSERT_TRUE(std::regex_search(summary, line,
                                      std::regex("TASK: " + source + " to " + target +
                                                 " \\[\\d+\\], Copy:(\\d+), Comp:(\\d+), Err:(\\d+), Excp:(\\d+)\n")))
            << source << target << "\n" << summary;
        EXPECT_EQ(task["copies"], std::stoul(line[1]));
        EXPECT_EQ(task["compares"], std::stoul(line[2]));
        EXPECT_EQ(task["errors"], std::stoul(line[3]));
        EXPECT_EQ(task["exceptions"], std::stoul(line[4]));
        const unsigned long long begun = std::stoul(line[2]);
        verified += begun > 1 ? (begun - 1) * 5907712ull : 0;
    }
    EXPECT_EQ(result["totals"]["verified_bytes"], verified);
}

TEST_F(FleetResults, StartLinesNameTheFilesystemBehindEveryDrive)
{
    if (drives_.mounted.size() != 3) {
        GTEST_SKIP() << "needs root for the tmpfs drives";
    }
    ProgramProcess program({"/a", "1"}, environment());
    ASSERT_EQ(program.wait_for_exit(), 0) << program.errors();
    const std::string output = program.output();
    for (const auto& [letter, path] : drives_.drives) {
        const std::string line = "durandex: " + std::string(1, letter) + ": " + path.string() + " no block device (tmpfs)\n";
        EXPECT_NE(output.find(line), std::string::npos) << output;
    }
    // They come before the first minute line.
    EXPECT_LT(output.find("no block device"), output.find("durandex: 0 Days"));
}

TEST_F(FleetResults, CleanRingLeavesAValidEndedResultEqualToItsSummary)
{
    ProgramProcess program({"/a", "1", json_option()}, environment());
    ASSERT_EQ(program.wait_for_exit(), 0) << program.errors();
    EXPECT_EQ(schema_violations(result()), "");
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    EXPECT_EQ(json["state"], "ended");
    EXPECT_EQ(json["exit_status"], 0);
    EXPECT_EQ(json["limits"]["run_minutes"], 1);
    EXPECT_TRUE(json["errors"].empty());
    expect_totals_match_summary(json, read_text_file(summary()));
    ASSERT_EQ(json["drives"].size(), 3u);
    for (const nlohmann::json& drive : json["drives"]) {
        const std::string letter = drive["letter"];
        EXPECT_EQ(drive["directory"], drives_.drives.at(letter[0]).string());
        EXPECT_GT(drive["total_bytes"], 0u);
    }
    // Nothing but the result itself is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(drives_.root)) {
        EXPECT_EQ(entry.path().filename().string().find(".result.json."), std::string::npos) << entry.path();
    }
}

TEST_F(FleetResults, DamagedCopyIsNamedWithItsFirstDifferingOffsetWhileTheResultStaysValid)
{
    ProgramProcess program({"corrupt", "100", "0x20", "/a", "2", json_option()}, environment(), DURANDEX_DRIVER);
    // The result written at Start is valid while the run goes on.
    ASSERT_TRUE(wait_until([&] { return std::filesystem::exists(result()); }, std::chrono::seconds(60), program_poll));
    EXPECT_EQ(schema_violations(result()), "");
    const int status = program.wait_for_exit();
    ASSERT_GT(status, 0) << program.errors();
    EXPECT_EQ(schema_violations(result()), "");
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    EXPECT_EQ(json["exit_status"], status);
    expect_totals_match_summary(json, read_text_file(summary()));
    std::vector<nlohmann::json> bad_copies;
    for (const nlohmann::json& task : json["tasks"]) {
        bad_copies.insert(bad_copies.end(), task["bad_copies"].begin(), task["bad_copies"].end());
    }
    ASSERT_EQ(bad_copies.size(), 1u) << json.dump(2);
    EXPECT_EQ(bad_copies[0]["first_difference_offset"], 100);
    const std::filesystem::path kept = bad_copies[0]["path"].get<std::string>();
    ASSERT_TRUE(std::filesystem::exists(kept)) << kept;
    EXPECT_EQ(std::filesystem::status(kept).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
    ASSERT_FALSE(json["errors"].empty());
    EXPECT_EQ(json["errors"][0]["text"].get<std::string>().rfind("Compare error: ", 0), 0u);
    EXPECT_TRUE(json["errors"][0]["code"].is_null());
}

TEST_F(FleetResults, FullTargetErrorCarriesItsCodeAndSymbolicName)
{
    ProgramProcess program({"fail", "CopyFileA", "1", "112", "/a", "1", json_option()}, environment(),
                           DURANDEX_DRIVER);
    const int status = program.wait_for_exit();
    ASSERT_GT(status, 0) << program.errors();
    EXPECT_EQ(schema_violations(result()), "");
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    expect_totals_match_summary(json, read_text_file(summary()));
    ASSERT_FALSE(json["errors"].empty()) << json.dump(2);
    const nlohmann::json& error = json["errors"][0];
    EXPECT_EQ(error["code"], 112);
    EXPECT_EQ(error["code_name"], "ERROR_DISK_FULL");
    EXPECT_EQ(error["text"].get<std::string>().rfind("ERROR 112 in ", 0), 0u) << error.dump();
}

TEST_F(FleetResults, ResultOptionsWithoutAFileAreRefusedBeforeAnyWindow)
{
    for (const char* option : {"--json=", "--metrics=", "--json=/tmp/"}) {
        ProgramProcess program({"/a", option}, environment());
        EXPECT_EQ(program.wait_for_exit(), 255) << option;
        EXPECT_NE(program.errors().find(option), std::string::npos) << program.errors();
    }
}

}  // namespace
