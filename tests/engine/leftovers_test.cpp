#include <gtest/gtest.h>

#include <filesystem>

#include "engine/prepare.h"
#include "records/run_settings.h"
#include "temp_drives.h"

namespace {

// Left over by killed runs: a task directory with a copy, a bad (read-only)
// copy and a file no worker makes, and one with a CD copy only. Preparation
// deletes the two deletable copies, keeps the rest and logs each directory;
// a name that is no task directory's, a link and the old task's log stay
// untouched.
TEST(Leftovers, PreparationCleansDeadRunsTaskDirectoriesAsTheirCleanupWouldHaveAndLogsThem)
{
    WorkerRig rig;
    const std::string machine = rig.drives.directory('D') + "/durandex/TESTHOST";
    const std::string outside = rig.drives.directory('D') + "/outside";
    for (const std::string& directory :
         {machine + "/77-3.dir", machine + "/88-1.dir", machine + "/keep.dir", outside}) {
        std::filesystem::create_directories(directory);
    }
    for (const std::string& file : {machine + "/77-3.dir/5.0", machine + "/77-3.dir/5.1", machine + "/77-3.dir/x",
                                    machine + "/88-1.dir/12.trg", machine + "/keep.dir/1.0", machine + "/log3.77",
                                    outside + "/1.0"}) {
        write_native_file(file, "bytes");
    }
    std::filesystem::permissions(machine + "/77-3.dir/5.1", std::filesystem::perms::owner_read);
    std::filesystem::create_directory_symlink(outside, machine + "/99-1.dir");
    EXPECT_EQ(prepare_tasks(nullptr), 0u);
    const std::string log = rig.log();
    EXPECT_NE(log.find(rig_stamp + "Cleaned leftover task directory D:\\durandex\\TESTHOST\\77-3.dir: 1 copies "
                                   "removed, 1 read-only copies kept, directory kept.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(rig_stamp + "Cleaned leftover task directory D:\\durandex\\TESTHOST\\88-1.dir: 1 copies "
                                   "removed, 0 read-only copies kept, directory removed.\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(count_of(log, "Cleaned leftover"), 2u) << log;
    EXPECT_FALSE(std::filesystem::exists(machine + "/77-3.dir/5.0"));
    EXPECT_FALSE(std::filesystem::exists(machine + "/88-1.dir"));
    for (const std::string& kept : {machine + "/77-3.dir/5.1", machine + "/77-3.dir/x", machine + "/keep.dir/1.0",
                                    machine + "/log3.77", outside + "/1.0"}) {
        EXPECT_TRUE(std::filesystem::exists(kept)) << kept;
    }
    EXPECT_TRUE(std::filesystem::exists(rig.native(rig.task->task_dir))) << "the run's own directory";
}

}  // namespace
