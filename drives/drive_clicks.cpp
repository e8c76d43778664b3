#include "drives/drive_clicks.h"

#include "drives/dialog_layout.h"
#include "records/allocation.h"
#include "records/run_settings.h"
#include "records/window_layout.h"
#include "records/window_settings.h"
#include "platform/win32.h"

namespace {

HWND main_window()
{
    return run_settings.main_window.load();
}

// "&Start" is offered exactly when every task has its target.
void set_start_enabled(bool enabled)
{
    EnableMenuItem(GetMenu(main_window()), command_start, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void resize_main_window()
{
    SetWindowPos(main_window(), nullptr, 0, 0, window_settings.window_width, window_settings.window_height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Part of the newest task's row in the main window.
void repaint_newest_row(LONG left, LONG right)
{
    const RECT cells = newest_row_cells(window_settings.window_height, left, right);
    InvalidateRect(main_window(), &cells, TRUE);
}

// The newest row's source letter and arrow.
void repaint_newest_source()
{
    repaint_newest_row(main_window_layout.source_x, main_window_layout.target_x);
}

void repaint_newest_target()
{
    repaint_newest_row(main_window_layout.target_x, main_window_layout.target_x + tile_width);
}

Drive* find_drive(WORD button_id, int* position)
{
    *position = 0;
    for (Drive* drive = run_settings.drive_list; drive != nullptr; drive = drive->next, ++*position) {
        if (drive->button_id == button_id) {
            return drive;
        }
    }
    return nullptr;
}

void pick_source(HWND dialog, Drive* drive)
{
    Task* task = allocate_record<Task>();
    if (task == nullptr) {
        // Nothing was made: the lists and the next pick stay as they were.
        MessageBoxA(dialog, "Memory Alloc for Task structure failed.", "Durandex", MB_ICONINFORMATION);
        return;
    }
    run_settings.dialog_expects_source = 0;
    task->source_drive = drive;
    task->target_drive = nullptr;
    task->file_count.store(source_file_count_max);
    task->state.store(TaskState::Inactive);
    task->next = run_settings.task_list;
    run_settings.task_list = task;
    window_settings.window_height += main_window_layout.task_row_height;
    resize_main_window();
    set_start_enabled(false);
    repaint_newest_source();
}

void pick_target(HWND dialog, Drive* drive)
{
    if (drive->drive_type == DRIVE_CDROM) {
        MessageBoxA(dialog, "CD-ROM cannot be Target.", "Durandex Error", MB_ICONEXCLAMATION);
        return;
    }
    run_settings.dialog_expects_source = 1;
    run_settings.task_list->target_drive = drive;
    set_start_enabled(true);
    repaint_newest_target();
}

// Removable, remote and CD-ROM drives may have changed their medium since
// they were last read.
bool reads_volume_data_on_click(DWORD drive_type)
{
    return drive_type == DRIVE_REMOVABLE || drive_type == DRIVE_CDROM || drive_type == DRIVE_REMOTE;
}

void reread_volume_data(HWND dialog, Drive* drive, int position)
{
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    read_volume_data(drive);
    const LONG y = drive_row_y(position);
    const RECT row = {drives_dialog_layout.reread_left, y, window_settings.dialog_width,
                      y + drives_dialog_layout.drive_row_height};
    InvalidateRect(dialog, &row, TRUE);
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

}  // namespace

void click_drive(HWND dialog, WORD button_id)
{
    if (run_settings.idle.load() == 0) {
        return;
    }
    int position = 0;
    Drive* drive = find_drive(button_id, &position);
    if (drive == nullptr) {
        return;
    }
    if (run_settings.dialog_expects_source == 1) {
        pick_source(dialog, drive);
    } else {
        pick_target(dialog, drive);
    }
    if (reads_volume_data_on_click(drive->drive_type)) {
        reread_volume_data(dialog, drive, position);
    }
    DrawMenuBar(main_window());
}

void unselect_last_click()
{
    Task* newest = run_settings.task_list;
    if (newest == nullptr || run_settings.idle.load() == 0) {
        return;
    }
    if (newest->target_drive != nullptr) {
        run_settings.dialog_expects_source = 0;
        newest->target_drive = nullptr;
        set_start_enabled(false);
        repaint_newest_target();
    } else {
        run_settings.dialog_expects_source = 1;
        run_settings.task_list = newest->next;
        free_record(newest);
        window_settings.window_height -= main_window_layout.task_row_height;
        set_start_enabled(true);
        resize_main_window();
    }
    if (run_settings.task_list == nullptr) {
        set_start_enabled(false);
    }
    DrawMenuBar(main_window());
}
