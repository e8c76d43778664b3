// The one process-wide record of options, lists and the run's clock.
#pragma once

#include <atomic>
#include <ctime>

#include "records/drive.h"
#include "records/task.h"
#include "records/version.h"
#include "platform/win32.h"

constexpr int source_file_count_max = 10;

// Posted to the main window by the preparation thread once it has started
// every task's workers, so that the program can restore the cursor and offer
// Pause.
constexpr UINT preparation_done_message = WM_APP + 1;

struct RunSettings {
    Task* task_list = nullptr;
    Drive* drive_list = nullptr;
    std::atomic<HWND> main_window{};
    std::atomic<DWORD> idle{1};
    DWORD dialog_expects_source = 1;
    std::atomic<DWORD> paused{0};
    std::atomic<DWORD> file_flags{0};
    std::atomic<BYTE> line_size{64};
    DWORD source_file_sizes[source_file_count_max] = {243,    1037,   4083,    4109,    65523,
                                                     65549,  262131, 262157, 1048563, 4194317};
    time_t run_start_time = 0;
    SYSTEMTIME run_start_local_time = {};
    DWORD paused_seconds = 0;
    DWORD time_limit_minutes = 0;
    HANDLE prep_thread = nullptr;
    DWORD prep_thread_id = 0;
    DWORD option_a = 0;
    DWORD option_c = 0;
    DWORD option_invalid = 0;
    LPCSTR command_line = "";
    char machine_name[MAX_PATH] = {};
    std::atomic<LONG> max_reported_error_count{0};
};

extern RunSettings run_settings;

// Unpaused seconds since Start at `now`, in unsigned 32-bit arithmetic: a
// clock set back during the run gives a huge time, not a negative one.
DWORD elapsed_run_seconds(time_t now);
