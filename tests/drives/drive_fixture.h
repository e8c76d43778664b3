// Temporary drive directories for the drives tests: letters mapped through
// a DURANDEX_DRIVES text, optional tmpfs mounts (root only), and the drive
// list and machine name restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drives/drive.h"
#include "platform/win32.h"

class DriveFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh directory under the test's temporary root.
    std::string make_directory(const std::string& name);

    // A tmpfs of the given size option ("8m", "64t"); "" with the reason in
    // *why when not root or when the kernel refuses.
    std::string make_tmpfs(const std::string& name, const std::string& size, std::string* why);

    // Installs the drive map; fails the test on a rejected text.
    void map_drives(const std::string& setting);

    // The records of run_settings.drive_list, head first.
    static std::vector<Drive*> drive_records();

private:
    std::string root_;
    std::vector<std::string> mounts_;
};
