// Pause holds every working task until Unpause; the workers park themselves
// at their pause points.
#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "engine/status_cell.h"

namespace {

constexpr DWORD park_poll_ms = 20;

void set_pause_item(HWND window, const char* text, UINT quit_state)
{
    HMENU menu = GetMenu(window);
    ModifyMenuA(menu, command_pause, MF_BYCOMMAND | MF_STRING, command_pause, text);
    EnableMenuItem(menu, command_quit, MF_BYCOMMAND | quit_state);
}

// A task whose workers have ended can never park; Quit, not a hang, is what
// follows for it.
BOOL task_can_park(const Task* task)
{
    return task->copy_thread_id.load() != 0 || task->compare_thread_id.load() != 0;
}

void wait_until_parked(const Task* task)
{
    while (task->state.load() == TaskState::Paused && task->pause_parked.load() == 0 && task_can_park(task)) {
        Sleep(park_poll_ms);
    }
}

void pause_run(HWND window)
{
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        TaskState working = TaskState::Working;
        task->state.compare_exchange_strong(working, TaskState::Paused);
    }
    run_settings.paused.store(1);
    set_pause_item(window, "U&npause", MF_GRAYED);
    KillTimer(window, refresh_timer_id);
    DrawMenuBar(window);
    for (const Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        wait_until_parked(task);
    }
}

void unpause_run(HWND window)
{
    // Only the tasks that work again say so: a task that ended in Cleanup
    // keeps its word. A worker may sleep through this Unpause and still be
    // parked when the next Pause comes; with its mark cleared, that Pause
    // waits until it parks anew and draws "Paused " over the "Working" drawn
    // here, so the mark is cleared only after the word is drawn.
    for (Task* task = run_settings.task_list; task != nullptr; task = task->next) {
        TaskState paused = TaskState::Paused;
        if (task->state.compare_exchange_strong(paused, TaskState::Working)) {
            draw_status_word(task, task_state_word(TaskState::Working));
            task->pause_parked.store(0);
        }
    }
    run_settings.paused.store(0);
    set_pause_item(window, "&Pause", MF_ENABLED);
    SetTimer(window, refresh_timer_id, refresh_period_ms, nullptr);
    DrawMenuBar(window);
}

}  // namespace

void toggle_pause(HWND window)
{
    if (quit_under_way()) {
        return;
    }
    if (run_settings.paused.load() == 0) {
        pause_run(window);
    } else {
        unpause_run(window);
    }
}
