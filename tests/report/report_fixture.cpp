#include "report_fixture.h"

#include <stdlib.h>
#include <sys/mount.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "records/run_settings.h"
#include "platform/drive_map.h"
#include "platform/ui_seam.h"

void ReportTest::SetUp()
{
    char pattern[] = "/dev/shm/durandex-report-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    c_dir = root / "c";
    d_dir = root / "d";
    std::filesystem::create_directories(c_dir);
    std::filesystem::create_directories(d_dir);
    event_log = root / "events.log";
    debug_output = root / "debug.txt";
    registry = root / "registry";
    setenv("DURANDEX_EVENT_LOG", event_log.c_str(), 1);
    setenv("DURANDEX_DEBUG_OUTPUT", debug_output.c_str(), 1);
    setenv("DURANDEX_REGISTRY", registry.c_str(), 1);
    std::string error;
    std::string drives = "C=" + c_dir.string() + ";D=" + d_dir.string();
    ASSERT_TRUE(drive_map_configure(drives.c_str(), &error)) << error;
    fix_local_time(9, 5);
    run_settings.main_window.store(main_window);
    run_settings.file_flags.store(0);
    run_settings.max_reported_error_count.store(0);
    set_message_box_observer([this](HWND owner, const char* text, const char* caption, UINT type) {
        std::string log = std::filesystem::exists(watched_log) ? read_file(watched_log) : std::string();
        std::lock_guard<std::mutex> lock(boxes_mutex_);
        boxes_.push_back({owner, text, caption, type, log});
    });
}

void ReportTest::TearDown()
{
    set_message_box_observer(nullptr);
    clock_fix_local_time(nullptr);
    clock_fix_time(0);
    run_settings.main_window.store(nullptr);
    run_settings.task_list = nullptr;
    run_settings.drive_list = nullptr;
    run_settings.run_start_time = 0;
    run_settings.paused_seconds = 0;
    run_settings.max_reported_error_count.store(0);
    unsetenv("DURANDEX_EVENT_LOG");
    unsetenv("DURANDEX_DEBUG_OUTPUT");
    unsetenv("DURANDEX_REGISTRY");
    // A test that failed half-way may leave its registry mount behind.
    while (umount2(registry.c_str(), MNT_DETACH) == 0) {
    }
    std::error_code ignored;
    for (auto& entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(root, ignored);
}

Task* ReportTest::make_task(const char* name)
{
    auto task = std::make_unique<Task>();
    std::snprintf(task->log_path, sizeof task->log_path, "D:\\%s.log", name);
    std::snprintf(task->time_path, sizeof task->time_path, "D:\\%s.time", name);
    task->file_count.store(10);
    task->state.store(TaskState::Working);
    tasks_.push_back(std::move(task));
    return tasks_.back().get();
}

Drive* ReportTest::make_drive(const char* root_path, const char* fs_name, const char* volume_name,
                              DWORD total_clusters, DWORD sectors_per_cluster, DWORD bytes_per_sector)
{
    auto drive = std::make_unique<Drive>();
    std::snprintf(drive->root_path, sizeof drive->root_path, "%s", root_path);
    std::snprintf(drive->fs_name, sizeof drive->fs_name, "%s", fs_name);
    std::snprintf(drive->volume_name, sizeof drive->volume_name, "%s", volume_name);
    drive->total_clusters.store(total_clusters);
    drive->sectors_per_cluster.store(sectors_per_cluster);
    drive->bytes_per_sector.store(bytes_per_sector);
    drives_.push_back(std::move(drive));
    return drives_.back().get();
}

std::string ReportTest::read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> ReportTest::event_entries() const
{
    std::vector<std::string> entries;
    std::string content = std::filesystem::exists(event_log) ? read_file(event_log) : std::string();
    size_t begin = 0;
    for (size_t end = content.find("\n\n"); end != std::string::npos; end = content.find("\n\n", begin)) {
        entries.push_back(content.substr(begin, end + 2 - begin));
        begin = end + 2;
    }
    EXPECT_EQ(begin, content.size()) << "event log ends inside an entry: " << content;
    return entries;
}

void ReportTest::expect_boxes(size_t count, const std::string& caption, const std::string& text)
{
    std::vector<ShownBox> boxes = shown_boxes();
    ASSERT_EQ(boxes.size(), count);
    for (const ShownBox& box : boxes) {
        EXPECT_EQ(box.caption, caption);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
        EXPECT_EQ(box.owner, main_window);
    }
}

std::string event_entry(DWORD code, const std::string& text)
{
    return "source=durandex type=1 category=0 id=0 strings=2\ndurandex error: " + std::to_string(code) +
           "\n" + text + "\n";
}
