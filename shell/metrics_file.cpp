#include "shell/metrics_file.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

using Labels = std::vector<std::pair<std::string, std::string>>;

// Label values escape backslash, double quote and line feed.
std::string escaped(const std::string& value)
{
    std::string text;
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            text += '\\';
            text += c;
        } else if (c == '\n') {
            text += "\\n";
        } else {
            text += c;
        }
    }
    return text;
}

std::string label_text(const Labels& labels)
{
    std::string text;
    for (const auto& [name, value] : labels) {
        text += (text.empty() ? "{" : ",") + name + "=\"" + escaped(value) + "\"";
    }
    return text.empty() ? text : text + "}";
}

void add_family(std::string* text, const char* name, const char* type, const char* help)
{
    *text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void add_sample(std::string* text, const char* name, const Labels& labels, double value)
{
    char number[32];
    std::snprintf(number, sizeof number, "%.17g", value);
    *text += name + label_text(labels) + " " + number + "\n";
}

Labels task_labels(const ResultTask& task)
{
    return {{"task", task.name},
            {"source", task.source},
            {"source_directory", task.source_directory},
            {"target", task.target},
            {"target_directory", task.target_directory}};
}

// One family per counted quantity of the tasks.
struct TaskCounter {
    const char* name;
    const char* help;
    double (*value)(const ResultTask&);
};

constexpr TaskCounter task_counters[] = {
    {"durandex_task_verified_bytes_total", "Bytes of source files verified by complete compare iterations.",
     [](const ResultTask& task) { return static_cast<double>(task.verified_bytes); }},
    {"durandex_task_copy_iterations_total", "Copy iterations begun.",
     [](const ResultTask& task) { return static_cast<double>(task.copies); }},
    {"durandex_task_compare_iterations_total", "Compare iterations begun.",
     [](const ResultTask& task) { return static_cast<double>(task.compares); }},
    {"durandex_task_errors_total", "Errors counted, as in the task's summary line.",
     [](const ResultTask& task) { return static_cast<double>(task.errors); }},
    {"durandex_task_exceptions_total", "Exceptions caught in the task's workers.",
     [](const ResultTask& task) { return static_cast<double>(task.exceptions); }},
};

constexpr const char* task_states[] = {"Inactive", "Starting", "Working", "Paused", "Cleanup"};

void add_tasks(std::string* text, const RunResult& result)
{
    for (const TaskCounter& counter : task_counters) {
        add_family(text, counter.name, "counter", counter.help);
        for (const ResultTask& task : result.tasks) {
            add_sample(text, counter.name, task_labels(task), counter.value(task));
        }
    }
    add_family(text, "durandex_task_state", "gauge", "1 for the state the task is in, 0 for the others.");
    for (const ResultTask& task : result.tasks) {
        for (const char* state : task_states) {
            Labels labels = task_labels(task);
            labels.emplace_back("state", state);
            add_sample(text, "durandex_task_state", labels, task.state == state ? 1 : 0);
        }
    }
}

// One series per disk beneath the drive; a drive without a block device has
// one with empty disk labels.
void add_drives(std::string* text, const RunResult& result)
{
    add_family(text, "durandex_drive_info", "gauge", "The directory, filesystem and disk behind each drive letter.");
    for (const ResultDrive& drive : result.drives) {
        const Labels base{{"drive", drive.letter},
                          {"directory", drive.directory},
                          {"filesystem", drive.disk.fs_type},
                          {"label", drive.label},
                          {"device", drive.disk.device}};
        std::vector<PhysicalDisk> disks = drive.disk.disks;
        if (disks.empty()) {
            disks.emplace_back();
        }
        for (const PhysicalDisk& disk : disks) {
            Labels labels = base;
            labels.insert(labels.end(), {{"disk", disk.node},
                                         {"major_minor", disk.major_minor},
                                         {"vendor", disk.vendor},
                                         {"model", disk.model},
                                         {"serial", disk.serial},
                                         {"wwn", disk.wwn},
                                         {"backing_file", disk.backing_file},
                                         {"rotational", disk.node.empty() ? "" : disk.rotational ? "1" : "0"}});
            add_sample(text, "durandex_drive_info", labels, 1);
        }
    }
    add_family(text, "durandex_drive_size_bytes", "gauge", "Size of the drive's filesystem.");
    for (const ResultDrive& drive : result.drives) {
        add_sample(text, "durandex_drive_size_bytes", {{"drive", drive.letter}}, static_cast<double>(drive.total_bytes));
    }
    add_family(text, "durandex_drive_free_bytes", "gauge", "Free space of the drive's filesystem.");
    for (const ResultDrive& drive : result.drives) {
        add_sample(text, "durandex_drive_free_bytes", {{"drive", drive.letter}}, static_cast<double>(drive.free_bytes));
    }
}

}  // namespace

std::string metrics_text(const RunResult& result)
{
    std::string text;
    add_tasks(&text, result);
    add_drives(&text, result);
    add_family(&text, "durandex_run_seconds", "gauge", "Run time without pauses.");
    add_sample(&text, "durandex_run_seconds", {}, result.run_seconds);
    add_family(&text, "durandex_run_ended", "gauge", "1 once the run has ended and its summary is written.");
    add_sample(&text, "durandex_run_ended", {}, result.ended ? 1 : 0);
    add_family(&text, "durandex_last_update_timestamp_seconds", "gauge", "When this file was written, in Unix time.");
    add_sample(&text, "durandex_last_update_timestamp_seconds", {}, static_cast<double>(result.updated));
    return text;
}
