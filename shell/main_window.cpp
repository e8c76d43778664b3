#include "shell/main_window.h"

#include "drives/inventory.h"
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/command_line.h"
#include "shell/commands.h"
#include "shell/minute_tick.h"
#include "shell/status_display.h"
#include "shell/wall_clock.h"

namespace {

void read_command_line()
{
    const CommandLine line = parse_command_line(run_settings.command_line);
    run_settings.time_limit_minutes = line.time_limit_minutes;
    run_settings.option_a = line.option_a;
    run_settings.option_c = line.option_c;
    run_settings.option_invalid = line.option_invalid;
    if (line.wall_clock_minutes > 0) {
        start_wall_clock_limit(line.wall_clock_minutes);
    }
}

// Start and Pause wait for tasks and for the end of preparation; the file
// flags follow the platform: write-through on the NT family.
void set_up_menu(HWND window)
{
    HMENU menu = GetMenu(window);
    EnableMenuItem(menu, command_start, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(menu, command_pause, MF_BYCOMMAND | MF_GRAYED);
    HMENU options = GetSubMenu(menu, options_menu_position);
    CheckMenuItem(options, command_line_size_64, MF_BYCOMMAND | MF_CHECKED);
    if ((GetVersion() & 0x80000000u) != 0) {
        run_settings.file_flags.store(0);
        CheckMenuItem(options, command_flags_normal, MF_BYCOMMAND | MF_CHECKED);
    } else {
        run_settings.file_flags.store(FILE_FLAG_WRITE_THROUGH);
        CheckMenuItem(options, command_flags_write_through, MF_BYCOMMAND | MF_CHECKED);
    }
    DrawMenuBar(window);
}

void create_window_contents(HWND window)
{
    read_command_line();
    inventory_drives();
    set_up_menu(window);
    if (run_settings.option_a != 0 || run_settings.option_invalid != 0) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(command_drives, 0), 0);
    }
}

void on_timer(HWND window, UINT_PTR id)
{
    if (id == refresh_timer_id) {
        refresh_display(window);
    } else if (id == minute_timer_id) {
        minute_tick(window);
    }
}

}  // namespace

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    run_settings.main_window.store(window);
    switch (message) {
    case WM_CREATE:
        create_window_contents(window);
        return 0;
    case WM_COMMAND:
        carry_out_command(window, LOWORD(wparam));
        return 0;
    case WM_TIMER:
        on_timer(window, wparam);
        return 0;
    case WM_PAINT:
        paint_main_window(window);
        return 0;
    case WM_DESTROY:
        destroy_main_window(window);
        return 0;
    case preparation_done_message:
        end_preparation_wait(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
