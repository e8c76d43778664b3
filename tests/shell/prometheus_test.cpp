// The metrics file as a fleet's monitoring sees it: promtool accepts it, and
// Debian's node_exporter serves it to a Prometheus server that scrapes it,
// both on free loopback ports.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <string>

#include "program_process.h"

namespace {

// A loopback port that was free a moment ago.
int free_port()
{
    const int socket_handle = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(socket_handle, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(socket_handle, reinterpret_cast<sockaddr*>(&address), &size);
    close(socket_handle);
    return ntohs(address.sin_port);
}

class MetricsRun : public ::testing::Test {
protected:
    std::map<std::string, std::string> environment() const { return drives_.environment(); }
    std::string summary() const { return read_text_file(drives_.drives.at('C') / "Durandex.Log"); }

    DriveDirectories drives_;
};

// The value of a PromQL query's single sample, or "" while there is none.
std::string prometheus_value(int port, const std::string& query)
{
    const std::string reply = output_of("curl -s -G --max-time 5 http://127.0.0.1:" + std::to_string(port) +
                                        "/api/v1/query --data-urlencode 'query=" + query + "'");
    std::smatch value;
    return std::regex_search(reply, value, std::regex("\"value\":\\[[0-9.]+,\"([^\"]+)\"\\]")) ? value[1].str() : "";
}

TEST_F(MetricsRun, PromtoolAcceptsTheMetricsOfARunWithAnError)
{
    if (!installed("promtool")) {
        GTEST_SKIP() << "promtool (Debian package prometheus) could not be installed here";
    }
    const std::filesystem::path metrics = drives_.root / "durandex.prom";
    ProgramProcess program({"fail", "CopyFileA", "1", "112", "/a", "--metrics=" + metrics.string()}, environment(),
                           DURANDEX_DRIVER);
    // Ended once the minute line after the error has shown it.
    ASSERT_TRUE(program.wait_for_output(" errors 1 ")) << program.output();
    program.send_signal(SIGINT);
    ASSERT_GT(program.wait_for_exit(), 0) << program.errors();
    const std::string text = read_text_file(metrics);
    EXPECT_EQ(output_of("promtool check metrics < " + metrics.string() + " 2>&1"), "");
    EXPECT_NE(text.find("durandex_run_ended 1\n"), std::string::npos) << text;
    EXPECT_EQ(count_of(text, "durandex_drive_info{"), 3u) << text;
}

// A source file kept from an earlier run and damaged since counts one error
// for its task; Prometheus must see that count live and, after the end, the
// count the summary gives.
TEST_F(MetricsRun, PrometheusScrapesTheErrorCounterOfATaskThroughNodeExporter)
{
    if (!installed("prometheus") || !installed("prometheus-node-exporter") || !installed("curl")) {
        GTEST_SKIP() << "prometheus, prometheus-node-exporter or curl could not be installed here";
    }
    ProgramProcess first({"/a", "1"}, environment());
    ASSERT_EQ(first.wait_for_exit(), 0) << first.errors();
    std::filesystem::path source;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(drives_.drives.at('D'))) {
        source = entry.path().filename() == "SRC.3" ? entry.path() : source;
    }
    ASSERT_FALSE(source.empty());
    std::filesystem::permissions(source, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    {
        std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(7);
        file.put('\x7f');
    }

    const std::filesystem::path textfiles = drives_.root / "textfiles", storage = drives_.root / "tsdb";
    std::filesystem::create_directories(textfiles);
    const int exporter_port = free_port(), prometheus_port = free_port();
    std::ofstream(drives_.root / "prometheus.yml")
        << "global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: node\n    static_configs:\n"
           "      - targets: ['127.0.0.1:" << exporter_port << "']\n";
    ProgramProcess exporter({"--web.listen-address=127.0.0.1:" + std::to_string(exporter_port),
                             "--collector.disable-defaults", "--collector.textfile",
                             "--collector.textfile.directory=" + textfiles.string()},
                            {}, "/usr/bin/prometheus-node-exporter");
    ProgramProcess prometheus({"--config.file=" + (drives_.root / "prometheus.yml").string(),
                               "--storage.tsdb.path=" + storage.string(),
                               "--web.listen-address=127.0.0.1:" + std::to_string(prometheus_port)},
                              {}, "/usr/bin/prometheus");

    ProgramProcess run({"/a", "--metrics=" + (textfiles / "durandex.prom").string()}, environment());
    const std::string errors = "durandex_task_errors_total{task=\"D:->E:\"}";
    ASSERT_TRUE(wait_until([&] { return prometheus_value(prometheus_port, errors) == "1"; },
                           std::chrono::seconds(90), std::chrono::milliseconds(500)))
        << prometheus.errors() << exporter.errors();
    run.send_signal(SIGINT);
    ASSERT_EQ(run.wait_for_exit(), 1) << run.errors();
    // The summary log gathers both runs; the second one's line is the last.
    const std::string log = summary();
    const std::regex task_line("TASK: D: to E: \\[\\d+\\], Copy:\\d+, Comp:\\d+, Err:(\\d+),");
    std::string summary_errors;
    for (std::sregex_iterator at(log.begin(), log.end(), task_line), end; at != end; ++at) {
        summary_errors = (*at)[1];
    }
    ASSERT_EQ(count_of(log, "TASK: D: to E: "), 2u) << log;
    // The last file, written at the end, as Prometheus scraped it.
    EXPECT_TRUE(wait_until([&] { return prometheus_value(prometheus_port, "durandex_run_ended") == "1"; },
                           std::chrono::seconds(60), std::chrono::milliseconds(500)));
    EXPECT_EQ(prometheus_value(prometheus_port, errors), summary_errors);
    EXPECT_EQ(prometheus_value(prometheus_port, "sum(durandex_task_errors_total)"), "1");
    prometheus.send_signal(SIGTERM);
    exporter.send_signal(SIGTERM);
    EXPECT_EQ(prometheus.wait_for_exit(), 0) << prometheus.errors();
}

}  // namespace
