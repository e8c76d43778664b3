#include "platform/json_result.h"

#include <nlohmann/json.hpp>

#include "platform/error_names.h"

namespace {

using Json = nlohmann::ordered_json;

// Empty sysfs texts are absent values, not empty names.
Json text_or_null(const std::string& text)
{
    return text.empty() ? Json(nullptr) : Json(text);
}

Json disk_json(const PhysicalDisk& disk)
{
    return Json{{"device", disk.node},
                {"major_minor", disk.major_minor},
                {"vendor", text_or_null(disk.vendor)},
                {"model", text_or_null(disk.model)},
                {"serial", text_or_null(disk.serial)},
                {"wwn", text_or_null(disk.wwn)},
                {"size_bytes", disk.size_bytes},
                {"rotational", disk.rotational},
                {"removable", disk.removable},
                {"backing_file", text_or_null(disk.backing_file)}};
}

Json identity_json(const DiskIdentity& identity)
{
    Json disks = Json::array();
    for (const PhysicalDisk& disk : identity.disks) {
        disks.push_back(disk_json(disk));
    }
    return Json{{"block_device", identity.block_device},
                {"device", text_or_null(identity.device)},
                {"major_minor", text_or_null(identity.major_minor)},
                {"disks", disks}};
}

Json drive_json(const ResultDrive& drive)
{
    return Json{{"letter", drive.letter},
                {"directory", drive.directory},
                {"filesystem", text_or_null(drive.disk.fs_type)},
                {"label", drive.label},
                {"total_bytes", drive.total_bytes},
                {"free_bytes", drive.free_bytes},
                {"disk", identity_json(drive.disk)}};
}

Json task_json(const ResultTask& task)
{
    Json bad_copies = Json::array();
    for (const ResultBadCopy& copy : task.bad_copies) {
        bad_copies.push_back(Json{{"path", copy.path}, {"first_difference_offset", copy.first_difference}});
    }
    return Json{{"name", task.name},
                {"source", {{"letter", task.source}, {"directory", task.source_directory}}},
                {"target", {{"letter", task.target}, {"directory", task.target_directory}}},
                {"copies", task.copies},
                {"compares", task.compares},
                {"errors", task.errors},
                {"exceptions", task.exceptions},
                {"verified_bytes", task.verified_bytes},
                {"state", task.state},
                {"task_directory", task.task_directory},
                {"task_log", task.task_log},
                {"bad_copies", bad_copies}};
}

Json error_json(const ResultError& error)
{
    const char* name = error.code != 0 ? error_code_name(error.code) : nullptr;
    return Json{{"time", iso8601_local(error.time)},
                {"task", error.task},
                {"text", error.text},
                {"code", error.code != 0 ? Json(error.code) : Json(nullptr)},
                {"code_name", name != nullptr ? Json(name) : Json(nullptr)}};
}

Json minutes_or_null(DWORD minutes)
{
    return minutes != 0 ? Json(minutes) : Json(nullptr);
}

}  // namespace

std::string result_json_text(const RunResult& result)
{
    Json drives = Json::array();
    for (const ResultDrive& drive : result.drives) {
        drives.push_back(drive_json(drive));
    }
    Json tasks = Json::array();
    for (const ResultTask& task : result.tasks) {
        tasks.push_back(task_json(task));
    }
    Json errors = Json::array();
    for (const ResultError& error : result.error_lines) {
        errors.push_back(error_json(error));
    }
    const double speed = result.run_seconds == 0 ? 0.0 : result.verified_bytes / 1e6 / result.run_seconds;
    const Json document{
        {"schema_version", result_schema_version},
        {"program", "durandex"},
        {"version", result.program_version},
        {"host", result.host},
        {"start", iso8601_local(result.start)},
        {"end", result.ended ? Json(iso8601_local(result.end)) : Json(nullptr)},
        {"updated", iso8601_local(result.updated)},
        {"run_seconds", result.run_seconds},
        {"limits", {{"run_minutes", minutes_or_null(result.time_limit_minutes)},
                    {"wall_clock_minutes", minutes_or_null(result.wall_clock_minutes)}}},
        {"state", result.ended ? "ended" : "running"},
        {"exit_status", result.ended ? Json(result.exit_status) : Json(nullptr)},
        {"totals", {{"errors", result.errors},
                    {"exceptions", result.exceptions},
                    {"verified_bytes", result.verified_bytes},
                    {"verified_mb_per_s", speed}}},
        {"drives", drives},
        {"tasks", tasks},
        {"errors", errors}};
    return document.dump(2) + "\n";
}
