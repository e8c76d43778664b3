// The CD copy worker on real read-only media: ISO9660 images through fuseiso
// and squashfs images on loop devices, mounted on the CD-ROM drive's
// directory. The rig's task copies from C: (the CD-ROM drive) to D:.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "temp_drives.h"
#include "engine/cd_queue.h"
#include "engine/compare_worker.h"
#include "engine/prepare.h"
#include "platform/clock.h"
#include "platform/faults.h"

namespace {

// A path ending in '/' is a directory; contents are the digits over and over.
struct DiscFile {
    std::string path;
    ULONGLONG size;
    mode_t mode;
};

// With three source files, source_bytes is 5363: "exact" is copied, "too_big"
// and "empty" are not, nor anything under ".hidden"; ".dotfile" is.
const std::vector<DiscFile> disc_tree = {{".dotfile", 10, 0644},  {".hidden/skipped", 100, 0644},
                                         {"a/b/deep", 100, 0444}, {"empty", 0, 0644},
                                         {"exact", 5363, 0444},   {"too_big", 5364, 0644}};
constexpr BYTE three_files = 3;
constexpr ULONGLONG mebibyte = 1 << 20;

void make_tree(const std::filesystem::path& root, const std::vector<DiscFile>& files)
{
    for (const DiscFile& file : files) {
        std::filesystem::create_directories((root / file.path).parent_path());
        if (file.path.back() != '/') {
            std::string digits;
            for (ULONGLONG at = 0; at < file.size && file.size <= mebibyte; ++at) {
                digits += static_cast<char>('0' + at % 10);
            }
            std::ofstream(root / file.path) << digits;
            std::filesystem::resize_file(root / file.path, file.size);
        }
    }
    for (const DiscFile& file : files) {
        chmod((root / file.path).c_str(), file.mode);
    }
}

// Mounts a read-only image of `files` on C:'s directory, beside which the
// image lies, until the rig goes; returns why it could not, or "".
std::string mount_disc(WorkerRig& rig, bool iso, const std::vector<DiscFile>& files)
{
    const std::string mount_point = rig.drives.directory('C'), image = mount_point + ".disc", tree = mount_point + ".tree";
    make_tree(tree, files);
    const std::string make = iso ? "genisoimage -quiet -R -o " + image + " " + tree + " && fuseiso -n " + image
                                 : "mksquashfs " + tree + " " + image + " -quiet -no-progress -noappend && "
                                   "mount -t squashfs -o loop,ro " + image;
    if (geteuid() != 0 || system((make + " " + mount_point + " >/dev/null 2>&1").c_str()) != 0) {
        return "needs root, genisoimage, fuseiso and squashfs-tools to mount: " + make;
    }
    rig.drives.unmount_later(mount_point);
    return "";
}

// Root passes over permission bits; a thread without these two capabilities
// does not, and the threads it starts inherit its sets.
void override_permissions(bool on)
{
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    syscall(SYS_capget, &header, data);
    const __u32 bits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);
    data[0].effective = on ? data[0].effective | bits : data[0].effective & ~bits;
    syscall(SYS_capset, &header, data);
}

struct CdCopyTest : ::testing::TestWithParam<bool> {};

// Each walk queues the three eligible files; their distinct sizes make any
// copy compared against the wrong disc file a counted size error. The first
// copy is damaged on the target: it is found against the disc file and kept
// read-only. The squashfs disc also has a directory that cannot be searched
// and one whose entry's path would not fit in 260 characters.
TEST_P(CdCopyTest, EveryEligibleFileIsCopiedNumberedComparedAndDeletedUnlessDamaged)
{
    const bool iso = GetParam();
    std::vector<DiscFile> files = disc_tree;
    if (!iso) {
        files.insert(files.end(), {{"locked/unseen", 100, 0644}, {"locked/", 0, 0},
                                   {std::string(100, 'l') + "/" + std::string(100, 'o') + "/" + std::string(60, 'n') + "/f", 10, 0644}});
    }
    WorkerRig rig{DRIVE_CDROM};
    if (const std::string why = mount_disc(rig, iso, files); !why.empty()) {
        GTEST_SKIP() << why;
    }
    rig.task->file_count = three_files;
    fault_corrupt_next_copy(3, 0x01);
    override_permissions(iso);  // the squashfs disc's workers meet the locked directory's mode
    prepare_tasks(nullptr);
    override_permissions(true);
    ASSERT_TRUE(wait_until([&] { return rig.task->compare_count.load() >= 7; }));
    ASSERT_TRUE(rig.drives.stop_workers());
    const std::string log = rig.log();
    // The walk's own lines may fall between the pieces of the account.
    for (const std::string& piece : {rig_stamp + "Compare error: C:\\.dotfile vs. " + rig_task_dir + "\\1.trg\n",
                                     std::string("Between Hex Offsets: 0 and 3f\nSRC: 0123456789"),
                                     std::string("TRG: 0122456789"), rig_stamp + "CD Copy completed at iteration:3\n",
                                     rig_stamp + "CD Copy completed at iteration:6\n"}) {
        EXPECT_NE(log.find(piece), std::string::npos) << piece << log;
    }
    EXPECT_EQ(rig.task->cd_queue_head.load(), nullptr) << "entries still queued are freed";
    const std::string exceeded = "Retries exceeded searching CD directory C:\\locked.\n";
    const std::string too_long = "ERROR 206 in forming a path in CD directory C:\\" + std::string(100, 'l') + "\\" +
                                 std::string(100, 'o') + ".\n";
    EXPECT_EQ(log.find("ERROR 5 in searching CD directory C:\\locked.\n") != std::string::npos, !iso) << log;
    EXPECT_EQ(count_of(log, too_long) == 0, iso) << log;
    EXPECT_EQ(rig.task->error_count.load(), 1 + 4 * count_of(log, exceeded) + count_of(log, too_long));
    EXPECT_EQ(list_native_directory(rig.native(rig_task_dir)), std::vector<std::string>{"1.trg"});
    EXPECT_TRUE(is_read_only(rig.native(rig_task_dir + "\\1.trg")));
}

INSTANTIATE_TEST_SUITE_P(Discs, CdCopyTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Iso9660ThroughFuseiso" : "SquashfsTypedCdrom"; });

// A CD-ROM drive with nothing mounted fails every search of its root; one
// whose only file is 4 GiB and 100 bytes has nothing eligible. Either way a
// walk queues nothing, and the next one starts about a second later. The
// target is a small tmpfs, so that a huge file taken for a small one could
// not fill a real drive.
TEST(CdIdleTest, WalksThatQueueNothingRestAboutASecond)
{
    for (const bool huge_file : {false, true}) {
        WorkerRig rig{DRIVE_CDROM};
        std::string why;
        if (rig.drives.add_tmpfs_drive('T', mebibyte, &why).empty()) {
            GTEST_SKIP() << why;
        }
        rig.task->target_drive = rig.drives.drive('T');
        rig.task->file_count = three_files;
        if (huge_file) {
            make_tree(rig.drives.directory('C'), {{"huge", (4ull << 30) + 100, 0644}});
        }
        clock_set_scale(10.0);
        prepare_tasks(nullptr);
        const std::string failed_search = "Retries exceeded searching CD directory C:.\n";
        const std::string walk = (huge_file ? "" : failed_search) + rig_stamp + "CD Copy completed at iteration:0\n";
        ASSERT_TRUE(wait_until([&] { return count_of(rig.log(), walk) >= 1; }));
        const ULONGLONG first = clock_now_ms();
        ASSERT_TRUE(wait_until([&] { return count_of(rig.log(), walk) >= 2; }));
        EXPECT_GE(clock_now_ms() - first, 900u) << huge_file;
        ASSERT_TRUE(rig.drives.stop_workers());
        const std::string log = rig.log();
        EXPECT_EQ(rig.task->error_count.load(), 4 * count_of(log, failed_search));
        EXPECT_EQ(log.empty(), huge_file) << "without errors the task log is gone with the task";
    }
}

// Two tasks copy from one disc to one small tmpfs: a file of s bytes is
// copied only while more than 3 x s bytes are free, and Quit ends the wait.
TEST(CdRoomTest, TwoTasksCopyAFileOnlyWhileThreeTimesItsSizeIsFree)
{
    WorkerRig rig{DRIVE_CDROM};
    std::string why;
    if (rig.drives.add_tmpfs_drive('T', 24 * mebibyte, &why).empty()) {
        GTEST_SKIP() << why;
    }
    Drive* drive = rig.task->target_drive = rig.drives.drive('T');
    const std::string filler = rig.drives.directory('T') + "/filler";
    Task* other = rig.drives.add_task('C', 'T');
    prepare_tasks(nullptr);  // no disc yet: both workers rest between walks
    // 1 MiB is small enough for the files two tasks on one target are fitted to.
    write_native_file(filler, std::string(21 * mebibyte + mebibyte / 2, 'f'));
    if (const std::string disc_why = mount_disc(rig, true, {{"big", mebibyte, 0444}}); !disc_why.empty()) {
        GTEST_SKIP() << disc_why;
    }
    auto copied = [&] { return rig.task->copy_count.load() + other->copy_count.load(); };
    // Only a worker waiting for room asks for the target's free space.
    ASSERT_TRUE(wait_for_passes(drive->free_clusters, 5));
    EXPECT_EQ(copied(), 0u) << "2.5 MiB free: more than 2 x 1 MiB, not more than 3 x";
    std::filesystem::resize_file(filler, 20 * mebibyte + mebibyte / 2);
    // 3.5 MiB free: each worker that asks before a copy has taken room copies.
    ASSERT_TRUE(wait_until([&] { return copied() >= 1; }));
    ASSERT_TRUE(wait_for_passes(drive->free_clusters, 5));
    const DWORD before_quit = copied();
    ASSERT_TRUE(rig.drives.stop_workers());
    EXPECT_EQ(copied(), before_quit);
    for (const Task* task : {rig.task, other}) {
        const std::string log = rig.log(task);
        const std::string count = std::to_string(task->copy_count.load());
        EXPECT_NE(log.find("CD Copy completed at iteration:" + count + "\n" + rig_stamp +
                           "Copy thread shutdown.\nTotal Copy Iterations = " + count + "\n"),
                  std::string::npos)
            << log;
    }
}

// A count that promises a queued file the queue does not hold keeps the
// compare worker waiting only until its task leaves Working.
TEST(CdQueueTest, CompareWaitForAPromisedEntryEndsOnCleanup)
{
    WorkerRig rig{DRIVE_CDROM};
    rig.prepare_without_workers(1);
    rig.task->copy_count = 2;
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.task->compare_count.load() == 1; }));
    rig.task->state = TaskState::Cleanup;
    EXPECT_TRUE(wait_until([&] { return rig.task->compare_thread_id.load() == 0; }, std::chrono::seconds(5)));
}

// A compare of a queued CD file that faults is abandoned; its recovery takes
// the entry off the queue, so the next compare does not meet it again
// against the next copy.
TEST(CdQueueTest, RecoveryOfAFaultedCompareTakesItsEntryOffTheQueue)
{
    WorkerRig rig{DRIVE_CDROM};
    rig.prepare_without_workers(2);
    for (BYTE index : {0, 1}) {
        CdFileEntry* entry = static_cast<CdFileEntry*>(GlobalAlloc(GMEM_ZEROINIT, sizeof(CdFileEntry)));
        snprintf(entry->path, MAX_PATH, "C:\\durandex\\TESTHOST\\SRC.%d", index);
        append_cd_entry(rig.task, entry);
    }
    std::filesystem::copy_file(rig.source(0), rig.native(rig_task_dir + "\\1.trg"));
    rig.fault_next_comparison(rig.source(0), [](const std::string&) {});
    rig.start(compare_worker);
    ASSERT_TRUE(wait_until([&] { return rig.task->compare_thread_id.load() == 0; }));
    EXPECT_NE(rig.log().find("ERROR 23 in Non-continuable exception comparing files"), std::string::npos);
    EXPECT_EQ(rig.task->compare_count.load(), 1u);
    EXPECT_EQ(rig.task->cd_queue_head.load(), rig.task->cd_queue_tail.load());
    let_go_of_cd_queue(rig.task);
    free_left_cd_entries(rig.task);
}

}  // namespace
