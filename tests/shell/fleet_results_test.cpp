// What an unattended run leaves for machines: the disk named behind each
// drive at Start, the JSON result and the metrics file.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "program_process.h"

namespace {

class FleetResults : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment() const { return drives_.environment(); }

    std::filesystem::path summary() const { return drives_.drives.at('C') / "Durandex.Log"; }
    std::filesystem::path result() const { return drives_.root / "result.json"; }
    std::string json_option() const { return "--json=" + result().string(); }

    DriveDirectories drives_;
};

// The service template with ExecStart pointing at the built program.
std::string service_template()
{
    std::string text = read_text_file(DURANDEX_SOURCE_DIR "/doc/durandex@.service");
    const std::string installed_path = "/usr/local/bin/durandex";
    const size_t at = text.find("ExecStart=" + installed_path);
    return at == std::string::npos ? "" : text.replace(at + 10, installed_path.size(), DURANDEX_BINARY);
}

// The schema's violations in the result file; empty when it is valid. The
// validator prints nothing when the file is valid.
std::string schema_violations(const std::filesystem::path& result)
{
    return output_of(std::string("python3 " DURANDEX_SOURCE_DIR "/tests/shell/validate_result.py ") +
                     DURANDEX_SOURCE_DIR "/doc/durandex-result.schema.json " + result.string() +
                     " 2>&1 || echo validator failed");
}

// Waits until the result file, as last written, satisfies `holds`.
bool result_shows(const std::filesystem::path& result, const std::function<bool(const nlohmann::json&)>& holds)
{
    return wait_until(
        [&] {
            const nlohmann::json json = nlohmann::json::parse(read_text_file(result), nullptr, false);
            return !json.is_discarded() && holds(json);
        },
        std::chrono::seconds(120), program_poll);
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

TEST_F(FleetResults, StartLineOfALoopMountedImageNamesTheLoopDeviceAndItsBackingFile)
{
    const std::filesystem::path image = drives_.root / "C.img", drive = drives_.drives.at('C');
    std::system(("umount -l " + drive.string() + " 2>/dev/null").c_str());
    if (const std::string refusal = loop_mount_ext4(image.string(), drive.string(), "128M"); !refusal.empty()) {
        GTEST_SKIP() << refusal;
    }
    const Unmount unmount{"umount -d " + drive.string()};
    const std::string loop = output_of("findmnt -no SOURCE " + drive.string());
    ASSERT_EQ(loop.rfind("/dev/loop", 0), 0u) << loop;
    ProgramProcess program({"/a", "1", json_option()}, environment());
    ASSERT_EQ(program.wait_for_exit(), 0) << program.errors();
    const std::string device = loop.substr(0, loop.size() - 1);
    EXPECT_NE(program.output().find("durandex: C: " + drive.string() + " ext4 on " + device + " "), std::string::npos)
        << program.output();
    EXPECT_NE(program.output().find("(disk " + device + " "), std::string::npos) << program.output();
    EXPECT_NE(program.output().find("backing file " + image.string() + ", 128 MiB"), std::string::npos)
        << program.output();
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    EXPECT_EQ(json["drives"][0]["disk"]["disks"][0]["backing_file"], image.string());
}

// A clean ring of /a 1 over three fixed drives ends by its minutes. The start
// lines name the filesystem behind each drive before the first minute line;
// the summary lists the ring newest first; the ended result is valid and
// equals the summary; only the sources, the summary, the result and the
// records are left.
TEST_F(FleetResults, CleanRingEndsByItsMinutesWithAValidResultEqualToItsSummaryAndNothingElseLeft)
{
    ProgramProcess program({"/a", "1", json_option()}, environment());
    ASSERT_EQ(program.wait_for_exit(), 0) << program.errors();
    const std::string output = program.output(), log = read_text_file(summary());
    if (drives_.mounted.size() == 3) {
        for (const auto& [letter, path] : drives_.drives) {
            const std::string line =
                "durandex: " + std::string(1, letter) + ": " + path.string() + " no block device (tmpfs)\n";
            EXPECT_NE(output.find(line), std::string::npos) << output;
        }
        EXPECT_LT(output.find("no block device"), output.find("durandex: 0 Days"));
    }
    EXPECT_NE(output.find("durandex: 0 Days, 00 Hrs, 00 Mins; 0.0 MB/s verified; C:->D: "), std::string::npos)
        << output;
    EXPECT_NE(output.find("run summary appended to " + summary().string()), std::string::npos);
    // Tasks newest first: the ring was made C -> D, D -> E, E -> C.
    EXPECT_TRUE(std::regex_search(log, std::regex("TASK: E: to C: \\[10\\].*\nTASK: D: to E: \\[10\\].*\n"
                                                  "TASK: C: to D: \\[10\\].*\n")))
        << log;

    EXPECT_EQ(schema_violations(result()), "");
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    EXPECT_EQ(json["state"], "ended");
    EXPECT_EQ(json["exit_status"], 0);
    EXPECT_EQ(json["limits"]["run_minutes"], 1);
    EXPECT_TRUE(json["errors"].empty());
    expect_totals_match_summary(json, log);
    const auto verified = json["totals"]["verified_bytes"].get<unsigned long long>();
    EXPECT_NE(output.find("; " + std::to_string(verified / 1000000) + " MB at "), std::string::npos) << output;
    ASSERT_EQ(json["drives"].size(), 3u);
    for (const nlohmann::json& drive : json["drives"]) {
        const std::string letter = drive["letter"];
        EXPECT_EQ(drive["directory"], drives_.drives.at(letter[0]).string());
        EXPECT_GT(drive["total_bytes"], 0u);
    }
    for (const std::string& file : drives_.files()) {
        const bool kept = file == "C/Durandex.Log" || file.find("/SRC.") != std::string::npos ||
                          file.rfind("lock/", 0) == 0 || file == "events" || file == "result.json";
        EXPECT_TRUE(kept) << file;
    }
}

TEST_F(FleetResults, DamagedCopyIsNamedWithItsFirstDifferingOffsetWhileTheResultStaysValid)
{
    ProgramProcess program({"corrupt", "100", "0x20", "/a", json_option()}, environment(), DURANDEX_DRIVER);
    // The result is valid while the run goes on, and shows the error once
    // the minute after it is counted has passed; the run is then ended.
    ASSERT_TRUE(result_shows(result(), [](const nlohmann::json& json) { return json["state"] == "running"; }));
    EXPECT_EQ(schema_violations(result()), "");
    ASSERT_TRUE(result_shows(result(), [](const nlohmann::json& json) { return json["totals"]["errors"] != 0; }));
    EXPECT_EQ(schema_violations(result()), "");
    program.send_signal(SIGINT);
    const int status = program.wait_for_exit();
    ASSERT_GT(status, 0) << program.errors();
    EXPECT_EQ(schema_violations(result()), "");
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    EXPECT_EQ(json["exit_status"], status);
    const std::string log = read_text_file(summary());
    EXPECT_NE(log.find("Total Errors = " + std::to_string(status) + "\n"), std::string::npos) << log;
    expect_totals_match_summary(json, log);
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
    ProgramProcess program({"fail", "CopyFileA", "1", "112", "/a", json_option()}, environment(), DURANDEX_DRIVER);
    ASSERT_TRUE(result_shows(result(), [](const nlohmann::json& json) { return !json["errors"].empty(); }));
    program.send_signal(SIGINT);
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

TEST_F(FleetResults, ServiceTemplatePassesSystemdVerification)
{
    if (!installed("systemd-analyze")) {
        GTEST_SKIP() << "systemd-analyze is not installed here";
    }
    const std::string unit = service_template();
    ASSERT_FALSE(unit.empty()) << "the template's ExecStart no longer names /usr/local/bin/durandex";
    std::ofstream(drives_.root / "durandex@.service") << unit;
    EXPECT_EQ(output_of("systemd-analyze verify --man=no " + (drives_.root / "durandex@1.service").string() + " 2>&1"),
              "");
    // A misspelt setting is what the verification is there to catch.
    std::ofstream(drives_.root / "durandex@.service") << unit << "[Service]\nKillSignl=SIGTERM\n";
    EXPECT_NE(output_of("systemd-analyze verify --man=no " + (drives_.root / "durandex@1.service").string() + " 2>&1"),
              "");
}

// Where systemd runs the machine: the template, its drives mapped in a drop-in
// as the manual page says, runs a ring for a minute and leaves its result.
TEST_F(FleetResults, ServiceTemplateRunsARingUnderSystemdAndLeavesAnEndedResult)
{
    if (!std::filesystem::exists("/run/systemd/system") || geteuid() != 0) {
        GTEST_SKIP() << "systemd is not the service manager here (no /run/systemd/system) or not root; "
                        "systemd-analyze verification alone checks the template";
    }
    const std::string name = "durandex-test-" + std::to_string(getpid());
    const std::filesystem::path unit = "/run/systemd/system/" + name + "@.service";
    const std::filesystem::path dropin = "/run/systemd/system/" + name + "@.service.d";
    std::ofstream(unit) << service_template();
    std::filesystem::create_directories(dropin);
    std::ofstream overrides(dropin / "drives.conf");
    overrides << "[Service]\n";
    for (const auto& [variable, value] : environment()) {
        overrides << "Environment=\"" << variable << "=" << value << "\"\n";
    }
    overrides << "Environment=DURANDEX_RESULT=" << result().string() << "\n"
              << "Environment=DURANDEX_METRICS=" << (drives_.root / "durandex.prom").string() << "\n";
    overrides.close();
    struct Removal {
        std::filesystem::path unit, dropin;
        ~Removal()
        {
            std::filesystem::remove(unit);
            std::filesystem::remove_all(dropin);
            std::system("systemctl daemon-reload");
        }
    } removal{unit, dropin};
    ASSERT_EQ(std::system("systemctl daemon-reload"), 0);
    ASSERT_EQ(std::system(("systemctl start " + name + "@1.service").c_str()), 0);
    const auto ended = [&] {
        const std::string state = output_of("systemctl show -P ActiveState " + name + "@1.service");
        return state == "inactive\n" || state == "failed\n";
    };
    ASSERT_TRUE(wait_until(ended, std::chrono::seconds(120), std::chrono::milliseconds(200)));
    EXPECT_EQ(schema_violations(result()), "");
    const nlohmann::json json = nlohmann::json::parse(read_text_file(result()));
    EXPECT_EQ(json["state"], "ended");
    EXPECT_EQ(json["exit_status"], 0);
    EXPECT_EQ(json["limits"]["run_minutes"], 1);
    EXPECT_EQ(json["tasks"].size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(drives_.root / "durandex.prom"));
}

TEST_F(FleetResults, ManualPageRendersCleanlyAndItsAlertRuleLoadsInPromtool)
{
    if (!installed("groff") || !installed("promtool")) {
        GTEST_SKIP() << "groff or promtool (Debian package prometheus) is not installed here";
    }
    const std::string page = DURANDEX_SOURCE_DIR "/doc/durandex.1";
    EXPECT_EQ(output_of("groff -man -Tutf8 -ww -z " + page + " 2>&1"), "");
    const std::string text = read_text_file(page);
    const size_t begin = text.find(".\\\" alert-rules-begin\n"), end = text.find(".\\\" alert-rules-end\n");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    std::string rules = text.substr(begin, end - begin);
    rules = rules.substr(rules.find('\n') + 1);
    for (size_t at = rules.find("\\-"); at != std::string::npos; at = rules.find("\\-", at)) {
        rules.replace(at, 2, "-");
    }
    std::ofstream(drives_.root / "rules.yml") << rules;
    EXPECT_NE(output_of("promtool check rules " + (drives_.root / "rules.yml").string() + " 2>&1")
                  .find("SUCCESS: 1 rules found"),
              std::string::npos)
        << rules;
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
