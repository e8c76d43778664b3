// What an unattended run leaves for machines: the disk named behind each
// drive at Start, the JSON result and the metrics file.
#include <gtest/gtest.h>
#include <unistd.h>

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

    DriveDirectories drives_;
};

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

}  // namespace
