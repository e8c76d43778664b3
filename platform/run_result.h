// A run's state as plain data, gathered above this layer from the records
// and written below it as JSON and as metrics.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "platform/disk_identity.h"
#include "platform/win32.h"

struct ResultBadCopy {
    std::string path;
    ULONGLONG first_difference = 0;  // the first differing byte's offset
};

struct ResultTask {
    std::string name;                // "C:->D:"
    std::string source;              // "C:"
    std::string target;
    std::string source_directory;
    std::string target_directory;
    DWORD copies = 0;
    DWORD compares = 0;
    DWORD errors = 0;
    DWORD exceptions = 0;
    ULONGLONG verified_bytes = 0;
    std::string state;               // the status cell's word
    std::string task_directory;
    std::string task_log;
    std::vector<ResultBadCopy> bad_copies;
};

struct ResultDrive {
    std::string letter;              // "C:"
    std::string directory;
    std::string label;
    ULONGLONG total_bytes = 0;
    ULONGLONG free_bytes = 0;
    DiskIdentity disk;               // fs_type is the filesystem's type
};

struct ResultError {
    time_t time = 0;
    std::string task;
    std::string text;
    DWORD code = 0;                  // 0 for a finding without a system error
};

struct RunResult {
    std::string program_version;
    std::string host;
    time_t start = 0;
    time_t end = 0;                  // 0 while the run goes on
    time_t updated = 0;
    DWORD run_seconds = 0;
    DWORD time_limit_minutes = 0;    // 0: none given
    DWORD wall_clock_minutes = 0;
    bool ended = false;
    int exit_status = 0;             // meaningful once ended
    DWORD errors = 0;
    DWORD exceptions = 0;
    ULONGLONG verified_bytes = 0;
    std::vector<ResultDrive> drives;
    std::vector<ResultTask> tasks;
    std::vector<ResultError> error_lines;
};
