// The program with a test's hand inside: arms the fault seam, or posts
// commands at chosen moments, then runs the program on the rest of the
// command line. Steps may be combined; at the end the driver says whether
// Quit released the records or kept them for threads it abandoned.
//   corrupt OFFSET MASK     the next copy has a byte flipped
//   fail NAME COUNT CODE    the next COUNT calls of NAME fail
//   pause-quit              Pause, wait for every task to park, Quit
//   quit-twice              Quit twice in a row once every task works
//   hold NAME               once every task works, calls of NAME never return
//   quit-in-preparation NAME  calls of NAME wait; once preparation waits in
//                           one, Quit, and when every task is in Cleanup
//                           the calls go on
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "records/run_settings.h"
#include "records/window_settings.h"
#include "shell/long_options.h"
#include "shell/program.h"
#include "shell/result_files.h"
#include "platform/faults.h"
#include "tests/support.h"

namespace {

// Waits until `holds`; the driver ends with 3 after two minutes.
void wait_for(const std::function<bool()>& holds, const char* what)
{
    if (!wait_until(holds, std::chrono::seconds(120), std::chrono::milliseconds(10))) {
        std::fprintf(stderr, "driver: timed out waiting until %s\n", what);
        std::_Exit(3);
    }
}

// The task list is written by the window thread before Start only, so it is
// read once Start has been seen.
bool every_task(bool (*holds)(const Task*))
{
    if (run_settings.idle.load() != 0) {
        return false;
    }
    bool all = run_settings.task_list != nullptr;
    for (const Task* task = run_settings.task_list; all && task != nullptr; task = task->next) {
        all = holds(task);
    }
    return all;
}

void post_command(UINT id)
{
    PostMessageA(run_settings.main_window.load(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void say(const char* line)
{
    std::printf("driver: %s\n", line);
    std::fflush(stdout);
}

void wait_until_every_task_works()
{
    wait_for([] { return every_task([](const Task* task) {
                 return task->state.load() == TaskState::Working && task->copy_count.load() > 1;
             }); }, "every task works");
}

void wait_for_held_call()
{
    wait_for([] { return fault_held_calls() > 0; }, "a call is held");
    say("a call is held");
}

void hold_when_working(std::string operation)
{
    wait_until_every_task_works();
    fault_hold(operation.c_str());
    wait_for_held_call();
}

void quit_in_preparation()
{
    wait_for_held_call();
    post_command(command_quit);
    wait_for([] { return every_task([](const Task* task) { return task->state.load() == TaskState::Cleanup; }); },
             "Quit stops every task");
    fault_reset();
}

void quit_twice()
{
    wait_until_every_task_works();
    post_command(command_quit);
    post_command(command_quit);
}

void pause_then_quit()
{
    wait_until_every_task_works();
    post_command(command_pause);
    wait_for([] { return every_task([](const Task* task) { return task->pause_parked.load() == 1; }); },
             "every task parks");
    say("every task parked");
    post_command(command_quit);
}

// Takes the driver's steps from the front of the arguments; the index of the
// program's first argument, or 0 for an unknown step.
int take_steps(int argc, char** argv)
{
    int at = 1;
    for (;;) {
        const auto is = [&](const char* step, int values) {
            return at + values < argc && std::strcmp(argv[at], step) == 0;
        };
        if (is("corrupt", 2)) {
            fault_corrupt_next_copy(std::strtoul(argv[at + 1], nullptr, 0), (BYTE)std::strtoul(argv[at + 2], nullptr, 0));
            at += 3;
        } else if (is("fail", 3)) {
            fault_arm(argv[at + 1], std::strtoul(argv[at + 2], nullptr, 0), std::strtoul(argv[at + 3], nullptr, 0));
            at += 4;
        } else if (is("pause-quit", 0)) {
            std::thread(pause_then_quit).detach();
            at += 1;
        } else if (is("quit-twice", 0)) {
            std::thread(quit_twice).detach();
            at += 1;
        } else if (is("hold", 1)) {
            std::thread(hold_when_working, std::string(argv[at + 1])).detach();
            at += 2;
        } else if (is("quit-in-preparation", 1)) {
            fault_hold(argv[at + 1]);
            std::thread(quit_in_preparation).detach();
            at += 2;
        } else {
            return at > 1 ? at : 0;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int first = take_steps(argc, argv);  // of the program's own arguments
    if (first == 0) {
        std::fprintf(stderr, "usage: driver STEP... ARGS...\n");
        return 2;
    }
    std::vector<std::string> arguments(argv + first, argv + argc);
    const LongOptions long_options = take_long_options(&arguments);
    set_result_files(long_options.json_path, long_options.metrics_path);
    static std::string command_line;
    for (const std::string& argument : arguments) {
        command_line += (command_line.empty() ? "" : " ") + argument;
    }
    const int status = run_program(nullptr, command_line.c_str(), SW_SHOWNORMAL);
    say(run_settings.task_list == nullptr ? "records released" : "records kept in use");
    return status;
}
