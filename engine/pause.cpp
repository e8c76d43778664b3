#include "engine/pause.h"

#include "engine/status_cell.h"

namespace {

constexpr DWORD starting_poll_ms = 100;
constexpr DWORD paused_poll_ms = 200;

}  // namespace

void wait_while_starting(Task* task)
{
    while (task->state.load() == TaskState::Starting) {
        Sleep(starting_poll_ms);
    }
}

void pause_point(Task* task)
{
    if (task->state.load() != TaskState::Paused) {
        return;
    }
    while (task->state.load() == TaskState::Paused) {
        // Unpause clears the mark; a Pause that follows before this worker
        // wakes finds it cleared and waits until the worker parks again, and
        // the cell, which Unpause set to "Working", says "Paused " again.
        if (task->pause_parked.exchange(1) == 0) {
            draw_status_word(task, task_state_word(TaskState::Paused));
        }
        Sleep(paused_poll_ms);
    }
    task->pause_parked.store(0);
    // Unpause may have drawn "Working" just before this worker drew "Paused ":
    // the cell is left with the word of the state the worker goes on in.
    if (task->state.load() == TaskState::Working) {
        draw_status_word(task, task_state_word(TaskState::Working));
    }
}

BOOL keep_working(Task* task)
{
    // A Pause that lands between a pass's last pause point and this test must
    // park the worker, not end it.
    for (;;) {
        TaskState state = task->state.load();
        if (state != TaskState::Paused) {
            return state == TaskState::Working;
        }
        pause_point(task);
    }
}

BOOL iteration_ends_after_file(Task* task)
{
    pause_point(task);
    return task->state.load() == TaskState::Cleanup;
}
