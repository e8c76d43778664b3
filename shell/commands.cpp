#include "shell/commands.h"

#include <ctime>

#include "drives/drives_dialog.h"
#include "engine/prepare.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/drive_identities.h"
#include "shell/main_window.h"
#include "shell/result_files.h"

namespace {

constexpr DWORD option_beep_hz = 1000;
constexpr DWORD option_beep_ms = 200;

void start_run(HWND window)
{
    // One run per process: a Start after the first, or after Quit, is ignored.
    if (run_settings.idle.load() == 0 || quit_under_way()) {
        return;
    }
    run_settings.idle.store(0);
    EnableMenuItem(GetMenu(window), command_start, MF_BYCOMMAND | MF_GRAYED);
    DrawMenuBar(window);
    run_settings.run_start_time = time(nullptr);
    GetLocalTime(&run_settings.run_start_local_time);
    identify_drives();
    write_result_files(FALSE, 0);
    PostMessageA(window, WM_TIMER, minute_timer_id, 0);
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    run_settings.prep_thread = CreateThread(nullptr, 0, prepare_tasks, nullptr, 0, &run_settings.prep_thread_id);
    SetTimer(window, refresh_timer_id, refresh_period_ms, nullptr);
    SetTimer(window, minute_timer_id, minute_period_ms, nullptr);
}

int count_drives()
{
    int count = 0;
    for (const Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next) {
        ++count;
    }
    return count;
}

void open_drives(HWND window)
{
    HWND open = window_settings.drives_dialog;
    if (open != nullptr && IsWindow(open)) {
        return;
    }
    BOOL refused = FALSE;
    window_settings.drives_dialog = open_drives_dialog(window_settings.instance, window, count_drives(), &refused);
    if (refused) {
        refuse_run();
    }
}

void show_about(HWND window)
{
    MessageBoxA(window,
                "Copyright 1996-2026\nThe Durandex developers\nFree software, made for Linux",
                "About Durandex", MB_OK | MB_ICONINFORMATION);
}

struct OptionGroup {
    UINT first;
    UINT last;
};

constexpr OptionGroup file_flag_items{command_flags_normal, command_flags_sequential_scan};
constexpr OptionGroup line_size_items{command_line_size_32, command_line_size_64};

void check_only(HWND window, OptionGroup group, UINT chosen)
{
    HMENU options = GetSubMenu(GetMenu(window), options_menu_position);
    for (UINT id = group.first; id <= group.last; ++id) {
        CheckMenuItem(options, id, MF_BYCOMMAND | (id == chosen ? MF_CHECKED : MF_UNCHECKED));
    }
}

DWORD file_flags_of(UINT id)
{
    switch (id) {
    case command_flags_write_through:
        return FILE_FLAG_WRITE_THROUGH;
    case command_flags_random_access:
        return FILE_FLAG_RANDOM_ACCESS;
    case command_flags_sequential_scan:
        return FILE_FLAG_SEQUENTIAL_SCAN;
    default:
        return 0;
    }
}

// The options hold for the whole run, so they change only before Start.
void choose_option(HWND window, UINT id)
{
    if (run_settings.idle.load() == 0) {
        Beep(option_beep_hz, option_beep_ms);
        return;
    }
    if (id >= file_flag_items.first && id <= file_flag_items.last) {
        run_settings.file_flags.store(file_flags_of(id));
        check_only(window, file_flag_items, id);
    } else {
        run_settings.line_size.store(id == command_line_size_32 ? 32 : 64);
        check_only(window, line_size_items, id);
    }
}

}  // namespace

void carry_out_command(HWND window, UINT id)
{
    switch (id) {
    case command_start:
        start_run(window);
        break;
    case command_drives:
        open_drives(window);
        break;
    case command_about:
        show_about(window);
        break;
    case command_pause:
        toggle_pause(window);
        break;
    case command_quit:
    case IDCANCEL:
        quit_run(window);
        break;
    case command_flags_normal:
    case command_flags_write_through:
    case command_flags_random_access:
    case command_flags_sequential_scan:
    case command_line_size_32:
    case command_line_size_64:
        choose_option(window, id);
        break;
    default:
        break;
    }
}

void end_preparation_wait(HWND window)
{
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    EnableMenuItem(GetMenu(window), command_pause, MF_BYCOMMAND | MF_ENABLED);
    DrawMenuBar(window);
}
